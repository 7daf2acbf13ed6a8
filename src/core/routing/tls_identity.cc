#include "core/routing/tls_identity.h"

#include <asio/ssl/context.hpp>
#include <fmt/format.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

namespace qs {
namespace {

[[noreturn]] void importFailed(std::int32_t status) {
  ERR_clear_error();
  throw QSProxyException(QSProxyError(proxyError::TlsIdentityImportFailed{status}));
}

std::int32_t lastErrorReason() {
  unsigned long code = ERR_peek_last_error();
  return code ? static_cast<std::int32_t>(ERR_GET_REASON(code)) : -1;
}

struct Parsed {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* chain = nullptr;
  ~Parsed() {
    EVP_PKEY_free(key);
    X509_free(cert);
    sk_X509_pop_free(chain, X509_free);
  }
};

}  // namespace

std::string QSProxyError::message() const {
  return fmt::format("Failed to load the TLS certificate for HTTPS (status {}).",
                     get<proxyError::TlsIdentityImportFailed>()->value);
}

std::shared_ptr<asio::ssl::context> makeTLSServerContext(const QSBytes& pkcs12, const std::string& password) {
  const unsigned char* data = pkcs12.data();
  std::unique_ptr<PKCS12, decltype(&PKCS12_free)> bundle(d2i_PKCS12(nullptr, &data, static_cast<long>(pkcs12.size())),
                                                          PKCS12_free);
  if (!bundle) importFailed(lastErrorReason());
  Parsed parsed;
  if (!PKCS12_parse(bundle.get(), password.c_str(), &parsed.key, &parsed.cert, &parsed.chain))
    importFailed(lastErrorReason());
  if (!parsed.key || !parsed.cert) importFailed(-1);

  auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
  context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                       asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 | asio::ssl::context::no_tlsv1_1);
  SSL_CTX* ctx = context->native_handle();
  if (SSL_CTX_use_certificate(ctx, parsed.cert) != 1 || SSL_CTX_use_PrivateKey(ctx, parsed.key) != 1 ||
      SSL_CTX_check_private_key(ctx) != 1)
    importFailed(lastErrorReason());
  for (int i = 0; parsed.chain && i < sk_X509_num(parsed.chain); ++i)
    if (SSL_CTX_add1_chain_cert(ctx, sk_X509_value(parsed.chain, i)) != 1) importFailed(lastErrorReason());
  return context;
}

}  // namespace qs
