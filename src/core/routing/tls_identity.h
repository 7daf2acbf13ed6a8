// The proxy's TLS identity: a PKCS#12 bundle (key, certificate, chain) made into a server context.
#pragma once

#include "core/models/case_coding.h"
#include "core/platform/encoding.h"
#include "core/platform/error_exception.h"

#include <cstdint>
#include <memory>
#include <string>

namespace asio::ssl {
class context;
}

namespace qs {

// Cases of QSProxyError.
namespace proxyError {
using TlsIdentityImportFailed = QSUnnamedCase<"tlsIdentityImportFailed", std::int32_t>;  // the importer's status
}  // namespace proxyError

struct QSProxyError : QSEnumeration<proxyError::TlsIdentityImportFailed> {
  using QSEnumeration::QSEnumeration;
  static constexpr std::string_view typeName = "QSProxyError";
  // "Failed to load the TLS certificate for HTTPS (status N)."
  std::string message() const;
};
using QSProxyException = QSErrorException<QSProxyError>;

// A TLS 1.2+ server context holding the bundle's key, certificate and chain. Throws
// QSProxyException(tlsIdentityImportFailed) with OpenSSL's error code (the reason part) when the
// data or pass phrase is wrong, or with -1 when the bundle holds no key and certificate.
std::shared_ptr<asio::ssl::context> makeTLSServerContext(const QSBytes& pkcs12, const std::string& password);

}  // namespace qs
