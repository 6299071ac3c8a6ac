#include "response/SourceLine.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace cto {

namespace {

// The encoding a byte-order mark names, else the one in which the text would
// begin with "<", as XML's own guess goes; else UTF-8.
const char* encodingOf(const unsigned char* head, std::size_t size) {
    const auto starts = [&](std::initializer_list<unsigned char> bytes) {
        return size >= bytes.size() && std::equal(bytes.begin(), bytes.end(), head);
    };
    if (starts({0x00, 0x00, 0xfe, 0xff}) || starts({0x00, 0x00, 0x00, '<'}))
        return "UTF-32BE";
    if (starts({0xff, 0xfe, 0x00, 0x00}) || starts({'<', 0x00, 0x00, 0x00}))
        return "UTF-32LE";
    if (starts({0xef, 0xbb, 0xbf}))
        return "UTF-8";
    if (starts({0xfe, 0xff}) || starts({0x00, '<'}))
        return "UTF-16BE";
    if (starts({0xff, 0xfe}) || starts({'<', 0x00}))
        return "UTF-16LE";
    return "UTF-8";
}

class Converter {
public:
    explicit Converter(const char* from) : handle_(iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (valid())
            iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    // iconv_open answers (iconv_t)-1 when it has no such conversion.
    bool valid() const noexcept { return reinterpret_cast<std::intptr_t>(handle_) != -1; }
    iconv_t get() const noexcept { return handle_; }

private:
    iconv_t handle_;
};

// Collects the wanted line from UTF-8 text handed in pieces.
class LineTaker {
public:
    LineTaker(int line, std::size_t count) : line_(line), count_(count) {}

    // False once the line is whole.
    bool take(const char* text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '\n') {
                if (current_ == line_)
                    return false;
                ++current_;
                continue;
            }
            if (current_ != line_ || c == '\r')
                continue;
            // A byte-order mark is no character of the line.
            if (c == 0xef && i + 2 < size && static_cast<unsigned char>(text[i + 1]) == 0xbb &&
                static_cast<unsigned char>(text[i + 2]) == 0xbf) {
                i += 2;
                continue;
            }
            // A character's bytes go with its first.
            if ((c & 0xc0) != 0x80) {
                keeping_ = taken_ < count_;
                taken_ += keeping_ ? 1 : 0;
            }
            if (keeping_)
                result_ += static_cast<char>(c);
        }
        return true;
    }
    std::string& result() noexcept { return result_; }

private:
    int line_;
    std::size_t count_;
    int current_ = 1;
    std::size_t taken_ = 0;
    bool keeping_ = false;
    std::string result_;
};

// The line as the encoding reads it; nothing when the text up to the line's
// end is not valid in it.
std::optional<std::string> decodeLine(ByteStream& source, const char* encoding, int line, std::size_t count) {
    const Converter converter(encoding);
    if (!converter.valid())
        return std::nullopt;
    LineTaker taker(line, count);
    std::array<char, 64 * 1024> input{};
    std::array<char, 4 * 64 * 1024 + 16> output{};
    std::size_t pending = 0; // an incomplete sequence at the end of the last piece
    source.seek(0);
    for (;;) {
        const std::size_t n = source.read(input.data() + pending, input.size() - pending);
        if (n == 0)
            return std::move(taker.result());
        char* in = input.data();
        std::size_t inLeft = pending + n;
        char* out = output.data();
        std::size_t outLeft = output.size();
        const std::size_t done = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
        const bool invalid = done == static_cast<std::size_t>(-1) && errno == EILSEQ;
        if (!taker.take(output.data(), output.size() - outLeft))
            return std::move(taker.result());
        if (invalid)
            return std::nullopt;
        std::copy(in, in + inLeft, input.data());
        pending = inLeft;
    }
}

} // namespace

std::string sourceLineStart(ByteStream& source, int line, std::size_t count) {
    std::array<unsigned char, 4> head{};
    source.seek(0);
    const std::size_t n = source.read(reinterpret_cast<char*>(head.data()), head.size());
    if (auto text = decodeLine(source, encodingOf(head.data(), n), line, count))
        return *text;
    return decodeLine(source, "ISO-8859-1", line, count).value_or(std::string());
}

} // namespace cto
