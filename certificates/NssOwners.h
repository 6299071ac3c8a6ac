#pragma once

#include <cert.h>
#include <keyhi.h>
#include <pk11pub.h>
#include <secitem.h>
#include <secmod.h>
#include <secport.h>

#include <memory>

namespace cto::nss {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* handle) const noexcept { Free(handle); }
};

inline void destroyArena(PLArenaPool* arena) noexcept {
    PORT_FreeArena(arena, PR_FALSE);
}
inline void destroyItem(SECItem* item) noexcept {
    SECITEM_FreeItem(item, PR_TRUE);
}
inline void freeString(char* text) noexcept {
    PORT_Free(text);
}

using Certificate = std::unique_ptr<CERTCertificate, Deleter<CERT_DestroyCertificate>>;
using CertificateList = std::unique_ptr<CERTCertList, Deleter<CERT_DestroyCertList>>;
using CertificateChain = std::unique_ptr<CERTCertificateList, Deleter<CERT_DestroyCertificateList>>;
using Slot = std::unique_ptr<PK11SlotInfo, Deleter<PK11_FreeSlot>>;
using SlotList = std::unique_ptr<PK11SlotList, Deleter<PK11_FreeSlotList>>;
using Module = std::unique_ptr<SECMODModule, Deleter<SECMOD_DestroyModule>>;
using PrivateKey = std::unique_ptr<SECKEYPrivateKey, Deleter<SECKEY_DestroyPrivateKey>>;
using Arena = std::unique_ptr<PLArenaPool, Deleter<destroyArena>>;
using Item = std::unique_ptr<SECItem, Deleter<destroyItem>>;
using String = std::unique_ptr<char, Deleter<freeString>>;

} // namespace cto::nss
