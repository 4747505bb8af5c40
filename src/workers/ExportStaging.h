#pragma once

#include "workers/Export.h"

#include <QString>

// A PDF or HTML export is written into a staging folder beside the chosen folder and moved into
// place only once it is complete, so that a killed export leaves no half-written folder there
// (only a hidden ".<name>.partial-<process>-…" beside it, which a later export to the same
// folder removes once its process has ended). A cancel or an error removes the staging folder
// and the parent folders the run made; nothing the user had is ever removed or written over.
class PARLEWICK_WORKERS_EXPORT ExportStaging
{
public:
    ~ExportStaging();   // discards what was not published

    // Makes the target's missing parents and the staging folder; raises when they cannot be made.
    void beginThrow(const QString &target);
    QString folder() const { return m_staging; }   // where the export writes
    QString target() const { return m_target; }

    // A missing target becomes the staging folder. Into an existing one each page goes under a
    // name nothing there has, and the files of the shared sub-folders beside what is there,
    // never over it (the pages chose names for their own files that are free there too).
    void publishThrow();
    void discard();

private:
    QString m_target;
    QString m_staging;
    QString m_topmostMadeParent;   // the first parent folder this run had to make
};
