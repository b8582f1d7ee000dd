#pragma once
// A driver that passes every call on and appends one line per call to a trace file:
//   cbDOut board port value status
//   cbDIn board port value status
//   cbAIn board channel range value status
//   cbGetConfig infotype board device item value status
//   cbGetBoardName board name status
// Values are those in the destination after the call. Lines are buffered; flush() writes
// them out, and so do the destructor and the exit of the process.

#include "daq/Driver.h"

#include <QFile>
#include <QString>
#include <memory>
#include <string>

namespace qvr {

class TracingDriver : public DaqDriver {
public:
    // Opens path for appending; nullptr (and *error set) when it cannot be opened.
    static std::unique_ptr<TracingDriver> open(std::unique_ptr<DaqDriver> inner,
                                               const QString& path, QString* error);
    ~TracingDriver() override;

    int cbAIn(int board, int chan, int range, std::int16_t& value) override;
    int cbDIn(int board, int port, std::int16_t& value) override;
    int cbDOut(int board, int port, std::uint16_t value) override;
    int cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) override;
    int cbGetBoardName(int board, char* name) override;

    DaqDriver& inner() { return *inner_; }
    // Writes the buffered lines to the file; false when the write failed.
    bool flush();

private:
    TracingDriver(std::unique_ptr<DaqDriver> inner, std::unique_ptr<QFile> file);
    void line(const char* kind, std::initializer_list<long long> fields);

    std::unique_ptr<DaqDriver> inner_;
    std::unique_ptr<QFile> file_;
    std::string buffer_;
};

} // namespace qvr
