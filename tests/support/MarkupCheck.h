#pragma once

#include <QString>

// Checks markup that was built from hostile values: every '<' opens a known tag, every tag
// holds only known attributes with double-quoted values, and every link is one the program
// gives a live address (http, https, file, its own "atta", paging and "files/" links, "#").
// Returns a description of the first problem, empty when there is none.
QString markupProblem(const QString &html);
