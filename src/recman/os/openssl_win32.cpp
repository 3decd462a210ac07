// OpenSSL inside wbtrv32.dll (linked in with libpq) must not leave a cleanup
// handler with the C runtime: it registers one at its first use, and the
// runtime calls it at process exit, after a program that unloaded the DLL
// (FreeLibrary) has unmapped the handler's code, which then faults. OpenSSL
// is therefore started without that handler when the DLL is loaded, before
// libpq's first connection starts it; what it holds is given back with the
// process.
#include <openssl/crypto.h>

namespace recman {
namespace {

const bool kOpenSslStartedWithoutExitHandler = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

}  // namespace
}  // namespace recman
