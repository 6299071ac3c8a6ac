#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cto {

// A sequence of bytes with a size and a position. Short reads and writes are
// reported by read()/write(); readBuffer()/writeBuffer() turn them into failures.
class ByteStream {
public:
    virtual ~ByteStream() = default;

    virtual std::int64_t size() const = 0;
    virtual std::int64_t position() const = 0;
    virtual void seek(std::int64_t position) = 0;
    virtual std::size_t read(void* buffer, std::size_t count) = 0;
    virtual std::size_t write(const void* buffer, std::size_t count) = 0;

    // Throws EReadError / EWriteError unless exactly count bytes move.
    void readBuffer(void* buffer, std::size_t count);
    void writeBuffer(const void* buffer, std::size_t count);
    void writeBuffer(std::string_view bytes) { writeBuffer(bytes.data(), bytes.size()); }

    // Copies the whole of source, from its first byte, into this stream.
    void copyFrom(ByteStream& source);
};

class MemoryStream final : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : data_(std::move(bytes)) {}

    std::int64_t size() const override { return static_cast<std::int64_t>(data_.size()); }
    std::int64_t position() const override { return position_; }
    void seek(std::int64_t position) override;
    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;

    // The whole content, whatever the position.
    const std::string& bytes() const noexcept { return data_; }
    std::string takeBytes() noexcept;
    void reserve(std::size_t capacity) { data_.reserve(capacity); }

private:
    std::string data_;
    std::int64_t position_ = 0;
};

} // namespace cto
