#include "db/Sqlite3WorkLimit.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr int InstructionsPerTick = 10000;
// Reading a row costs a few dozen instructions, and a row takes tens of bytes or more: this
// leaves ten times the room any real read needs. Low enough that a view made to return rows
// without end stops long before their copies fill the memory.
constexpr qint64 InstructionsPerByte = 25;
constexpr qint64 MinimumInstructions = 25'000'000;

}   // namespace

Sqlite3WorkLimit::Sqlite3WorkLimit(sqlite3 *db, qint64 instructions)
    : m_db(db)
    , m_maxTicks(std::max<qint64>(1, instructions / InstructionsPerTick))
{
    sqlite3_progress_handler(m_db, InstructionsPerTick, &Sqlite3WorkLimit::tick, this);
}

Sqlite3WorkLimit::~Sqlite3WorkLimit()
{
    sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

qint64 Sqlite3WorkLimit::forDatabaseBytes(qint64 bytes)
{
    return std::max(MinimumInstructions, std::min(bytes, qint64(1) << 40) * InstructionsPerByte);
}

int Sqlite3WorkLimit::tick(void *self)
{
    auto *limit = static_cast<Sqlite3WorkLimit *>(self);
    return ++limit->m_ticks > limit->m_maxTicks ? 1 : 0;
}
