#include "ByteStream.h"

#include "FailureKinds.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace cto {

void ByteStream::readBuffer(void* buffer, std::size_t count) {
    if (count != 0 && read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void ByteStream::writeBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

void ByteStream::copyFrom(ByteStream& source) {
    source.seek(0);
    std::int64_t remaining = source.size();
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::int64_t>(remaining, 1 << 20)));
    while (remaining > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(remaining, chunk.size()));
        source.readBuffer(chunk.data(), piece);
        writeBuffer(chunk.data(), piece);
        remaining -= static_cast<std::int64_t>(piece);
    }
}

void MemoryStream::seek(std::int64_t position) {
    position_ = std::max<std::int64_t>(0, position);
}

std::size_t MemoryStream::read(void* buffer, std::size_t count) {
    if (position_ >= size())
        return 0;
    const auto available = static_cast<std::size_t>(size() - position_);
    const std::size_t n = std::min(count, available);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
}

std::size_t MemoryStream::write(const void* buffer, std::size_t count) {
    const auto end = static_cast<std::size_t>(position_) + count;
    if (end > data_.size())
        data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ = static_cast<std::int64_t>(end);
    return count;
}

std::string MemoryStream::takeBytes() noexcept {
    position_ = 0;
    return std::exchange(data_, {});
}

} // namespace cto
