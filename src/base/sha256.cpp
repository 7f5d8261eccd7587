#include "base/sha256.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>

std::string FileSha256Hex(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  bool ok = md && EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr) == 1;
  unsigned char block[65536];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0 || !ok) break;
    ok = EVP_DigestUpdate(md.get(), block, (size_t)n) == 1;
  }
  ::close(fd);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!ok || EVP_DigestFinal_ex(md.get(), digest, &size) != 1) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}
