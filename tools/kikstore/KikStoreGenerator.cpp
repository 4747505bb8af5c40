#include "kikstore/KikStoreGenerator.h"

#include "kikstore/KikStoreWriter.h"

GeneratedKikStore KikStoreGenerator::generate(const QString &rootFolder) const
{
    return KikStoreWriter(m_options, rootFolder).run();
}
