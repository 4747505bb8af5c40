#pragma once

class CommandHost;

// The sources the program keeps between runs, listed at start: the local databases (read when
// first selected) and the phones remembered from earlier device backups (read at once).
void addStoredSources(CommandHost &host);
