#include "app/publish/hosting_records.h"

#include <array>
#include <utility>

namespace qs {
namespace {

template <class E, std::size_t N>
std::string_view rawOf(E value, const std::array<std::pair<E, std::string_view>, N>& table) {
  for (const auto& [v, raw] : table)
    if (v == value) return raw;
  return "unknown";
}

template <class E, std::size_t N>
void decodeRaw(const json& in, E& value, const std::array<std::pair<E, std::string_view>, N>& table,
               const char* typeName) {
  if (!in.is_string()) throw QSDecodingError(std::string(typeName) + ": expected text");
  value = E::unknown;
  for (const auto& [v, raw] : table)
    if (raw == in.get_ref<const std::string&>()) value = v;
}

constexpr std::array<std::pair<QSHostingTier, std::string_view>, 2> kTiers{{
    {QSHostingTier::staticSite, "static"}, {QSHostingTier::vapor, "vapor"}}};
constexpr std::array<std::pair<QSRuntimeStatus, std::string_view>, 5> kRuntimeStatuses{{
    {QSRuntimeStatus::ready, "ready"}, {QSRuntimeStatus::active, "active"}, {QSRuntimeStatus::deploying, "deploying"},
    {QSRuntimeStatus::error, "error"}, {QSRuntimeStatus::destroyed, "destroyed"}}};
constexpr std::array<std::pair<QSDeploymentStatus, std::string_view>, 5> kDeploymentStatuses{{
    {QSDeploymentStatus::queued, "queued"}, {QSDeploymentStatus::building, "building"},
    {QSDeploymentStatus::releasing, "releasing"}, {QSDeploymentStatus::succeeded, "succeeded"},
    {QSDeploymentStatus::failed, "failed"}}};

}  // namespace

bool isTerminal(QSDeploymentStatus status) {
  return status == QSDeploymentStatus::succeeded || status == QSDeploymentStatus::failed;
}

std::string_view rawValue(QSHostingTier value) { return rawOf(value, kTiers); }
std::string_view rawValue(QSRuntimeStatus value) { return rawOf(value, kRuntimeStatuses); }
std::string_view rawValue(QSDeploymentStatus value) { return rawOf(value, kDeploymentStatuses); }

void encodeJson(json& out, QSHostingTier value, const QSCoder&) { out = std::string(rawValue(value)); }
void encodeJson(json& out, QSRuntimeStatus value, const QSCoder&) { out = std::string(rawValue(value)); }
void encodeJson(json& out, QSDeploymentStatus value, const QSCoder&) { out = std::string(rawValue(value)); }
void decodeJson(const json& in, QSHostingTier& value, const QSCoder&) { decodeRaw(in, value, kTiers, "QSHostingTier"); }
void decodeJson(const json& in, QSRuntimeStatus& value, const QSCoder&) {
  decodeRaw(in, value, kRuntimeStatuses, "QSRuntimeStatus");
}
void decodeJson(const json& in, QSDeploymentStatus& value, const QSCoder&) {
  decodeRaw(in, value, kDeploymentStatuses, "QSDeploymentStatus");
}

void encodeJson(json& out, const QSHostingDate& value, const QSCoder&) { out = QSTime::iso8601(value.value); }

void decodeJson(const json& in, QSHostingDate& value, const QSCoder&) {
  // Internet date-time only: a "T" between date and time, and a zone; the fraction is optional.
  const std::string* text = in.is_string() ? &in.get_ref<const std::string&>() : nullptr;
  std::optional<QSTimestamp> parsed;
  if (text && text->size() > 10 && (*text)[10] == 'T') parsed = QSTime::parseISO8601(*text);
  if (!parsed) throw QSDecodingError("Unrecognized date format");
  value.value = *parsed;
}

const std::vector<QSMachineSizeChoice>& machineSizeChoices() {
  static const std::vector<QSMachineSizeChoice> choices{
      {"512 MB \u00b7 1 shared CPU", 512, 1, "shared"},
      {"1 GB \u00b7 1 shared CPU", 1024, 1, "shared"},
      {"2 GB \u00b7 2 shared CPUs", 2048, 2, "shared"},
      {"4 GB \u00b7 2 performance CPUs", 4096, 2, "performance"},
      {"8 GB \u00b7 4 performance CPUs", 8192, 4, "performance"}};
  return choices;
}

const std::vector<QSRegionChoice>& regionChoices() {
  static const std::vector<QSRegionChoice> regions{
      {"iad", "Ashburn, US East"}, {"ord", "Chicago, US"},  {"lax", "Los Angeles, US West"}, {"lhr", "London, UK"},
      {"fra", "Frankfurt, DE"},    {"nrt", "Tokyo, JP"},    {"syd", "Sydney, AU"}};
  return regions;
}

}  // namespace qs
