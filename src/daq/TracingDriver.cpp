#include "daq/TracingDriver.h"

#include <charconv>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace qvr {

namespace {

constexpr std::size_t kFlushAt = 64 * 1024;

// Every live trace, so that a process ending through exit() still writes its last lines.
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}
std::vector<TracingDriver*>& registry() {
    static std::vector<TracingDriver*> r;
    return r;
}
void flushAllAtExit() {
    std::lock_guard lock(registryMutex());
    for (TracingDriver* t : registry())
        t->flush();
}

void appendNumber(std::string& out, long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

} // namespace

std::unique_ptr<TracingDriver> TracingDriver::open(std::unique_ptr<DaqDriver> inner,
                                                   const QString& path, QString* error) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error =
                QStringLiteral("cannot open the trace file %1: %2").arg(path, file->errorString());
        return nullptr;
    }
    return std::unique_ptr<TracingDriver>(new TracingDriver(std::move(inner), std::move(file)));
}

TracingDriver::TracingDriver(std::unique_ptr<DaqDriver> inner, std::unique_ptr<QFile> file)
    : inner_(std::move(inner)), file_(std::move(file)) {
    buffer_.reserve(kFlushAt + 256);
    static std::once_flag atExit;
    std::call_once(atExit, [] {
        // The registry exists before the hook is registered, so it outlives the hook.
        registryMutex();
        registry();
        std::atexit(flushAllAtExit);
    });
    std::lock_guard lock(registryMutex());
    registry().push_back(this);
}

TracingDriver::~TracingDriver() {
    {
        std::lock_guard lock(registryMutex());
        std::erase(registry(), this);
    }
    flush();
}

bool TracingDriver::flush() {
    if (buffer_.empty())
        return true;
    const auto size = static_cast<qint64>(buffer_.size());
    const bool ok = file_->write(buffer_.data(), size) == size && file_->flush();
    buffer_.clear();
    return ok;
}

void TracingDriver::line(const char* kind, std::initializer_list<long long> fields) {
    buffer_ += kind;
    for (long long f : fields) {
        buffer_ += ' ';
        appendNumber(buffer_, f);
    }
    buffer_ += '\n';
    if (buffer_.size() >= kFlushAt)
        flush();
}

int TracingDriver::cbAIn(int board, int chan, int range, std::int16_t& value) {
    const int status = inner_->cbAIn(board, chan, range, value);
    line("cbAIn", {board, chan, range, value, status});
    return status;
}

int TracingDriver::cbDIn(int board, int port, std::int16_t& value) {
    const int status = inner_->cbDIn(board, port, value);
    line("cbDIn", {board, port, value, status});
    return status;
}

int TracingDriver::cbDOut(int board, int port, std::uint16_t value) {
    const int status = inner_->cbDOut(board, port, value);
    line("cbDOut", {board, port, value, status});
    return status;
}

int TracingDriver::cbGetConfig(int infoType, int board, int devNum, int item, std::int32_t& value) {
    const int status = inner_->cbGetConfig(infoType, board, devNum, item, value);
    line("cbGetConfig", {infoType, board, devNum, item, value, status});
    return status;
}

int TracingDriver::cbGetBoardName(int board, char* name) {
    const int status = inner_->cbGetBoardName(board, name);
    buffer_ += "cbGetBoardName ";
    appendNumber(buffer_, board);
    buffer_ += ' ';
    // The name up to its NUL, trailing blanks trimmed as the caller trims them (a failed
    // call leaves the caller's blanks). Control bytes would break the one-line form.
    if (name) {
        std::size_t end = buffer_.size();
        for (int i = 0; i < kBoardNameSize - 1 && name[i] != '\0'; ++i) {
            const auto c = static_cast<unsigned char>(name[i]);
            buffer_ += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
            if (c != ' ')
                end = buffer_.size();
        }
        buffer_.resize(end);
    }
    buffer_ += ' ';
    appendNumber(buffer_, status);
    buffer_ += '\n';
    if (buffer_.size() >= kFlushAt)
        flush();
    return status;
}

} // namespace qvr
