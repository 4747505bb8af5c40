#pragma once

// A writer of one export format. The export worker calls begin once, write per item and
// end once; each raises AppError when the output cannot be written.
template <typename T>
class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;
    virtual void begin() = 0;
    virtual void write(const T *item) = 0;
    virtual void end() = 0;
};
