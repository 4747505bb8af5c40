// Anchor of the fixture library; the generators add their own sources.
