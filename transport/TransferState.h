#pragma once

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace cto::http {

// How the transfer in progress ended, once it has.
struct TransferOutcome {
    bool finished = false;
    CURLcode result = CURLE_OK;
    std::optional<std::string> timeout; // the watchdog's text, when it stopped the transfer
    bool cancelled = false;             // the waiting hook asked to stop
};

// The request body as the caller hands it over in pieces.
struct UploadState {
    std::uint64_t declaredLength = 0;
    std::uint64_t supplied = 0;  // bytes libcurl has taken
    const char* piece = nullptr; // the piece being handed over; the caller's
    std::size_t pieceSize = 0, pieceOffset = 0;
    bool paused = false; // libcurl waits for the next piece

    void hand(const char* bytes, std::size_t size) {
        piece = bytes;
        pieceSize = size;
        pieceOffset = 0;
    }
    bool pieceTaken() const { return pieceOffset == pieceSize; }
    // Copies what is left of the piece, as much as fits.
    std::size_t take(char* buffer, std::size_t room) {
        const std::size_t n = std::min(pieceSize - pieceOffset, room);
        std::memcpy(buffer, piece + pieceOffset, n);
        pieceOffset += n;
        supplied += n;
        return n;
    }
};

// The piece of the response body that libcurl handed over last, until the reader has taken it.
struct ResponseBody {
    std::string pending;
    std::size_t offset = 0;
    bool paused = false; // libcurl holds the next piece until this one is taken

    std::size_t available() const { return pending.size() - offset; }
    std::size_t read(char* buffer, std::size_t count) {
        const std::size_t n = std::min(count, available());
        std::memcpy(buffer, pending.data() + offset, n);
        offset += n;
        return n;
    }
};

} // namespace cto::http
