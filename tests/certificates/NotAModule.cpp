// A shared library that is no PKCS #11 module: it has no C_GetFunctionList,
// so NSS cannot load it as one. A broken registration points at it.
extern "C" __attribute__((visibility("default"))) int ctoNotAModule() {
    return 0;
}
