#include "core/mail/mime_structure.h"

#include "core/platform/text.h"
#include "core/platform/utf8.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace qs::QSMimeStructure {
namespace {

void initializeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

// Owns one reference of a GObject.
template <class T>
struct Unref {
  void operator()(T* object) const {
    if (object) g_object_unref(object);
  }
};
template <class T>
using GRef = std::unique_ptr<T, Unref<T>>;

std::optional<std::string> text(const char* value) {
  return value ? std::optional<std::string>(replacingInvalidUTF8(value)) : std::nullopt;
}

// A stream that collects what is written into a byte array we keep.
class Collector {
public:
  Collector() : array_(g_byte_array_new()), stream_(g_mime_stream_mem_new_with_byte_array(array_)) {
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream_.get()), FALSE);
  }
  ~Collector() { g_byte_array_free(array_, TRUE); }
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;

  GMimeStream* stream() const { return stream_.get(); }
  std::string bytes() const { return std::string(reinterpret_cast<const char*>(array_->data), array_->len); }

private:
  GByteArray* array_;
  GRef<GMimeStream> stream_;
};

// The media type as the part's own header names it. GMime reads a type without a subtype as
// application/octet-stream, which would hide a "Content-Type: text" body as an attachment.
std::string mediaTypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  std::string media = asciiLowercased(g_mime_content_type_get_media_type(type));
  std::string subtype = asciiLowercased(g_mime_content_type_get_media_subtype(type));
  if (const char* written = g_mime_object_get_header(object, "Content-Type")) {
    std::string_view value = written;
    value = value.substr(0, value.find(';'));
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front()))) value.remove_prefix(1);
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.remove_suffix(1);
    if (asciiLowercased(value) == "text") return "text/plain";
  }
  return media + "/" + subtype;
}

Leaf leafOf(GMimeObject* object) {
  Leaf leaf;
  leaf.mediaType = mediaTypeOf(object);
  leaf.fileName = text(g_mime_object_get_content_type_parameter(object, "name"));
  if (!leaf.fileName) leaf.fileName = text(g_mime_object_get_content_disposition_parameter(object, "filename"));
  leaf.disposition = text(g_mime_object_get_header(object, "Content-Disposition")).value_or("");
  leaf.charset = text(g_mime_object_get_content_type_parameter(object, "charset"));
  Collector content;
  if (GMIME_IS_PART(object)) {
    if (GMimeDataWrapper* wrapper = g_mime_part_get_content(GMIME_PART(object)))
      g_mime_data_wrapper_write_to_stream(wrapper, content.stream());
  } else {
    // An attached message, or a multipart taken as it stands: its body as written.
    g_mime_object_write_content_to_stream(object, nullptr, content.stream());
  }
  leaf.bytes = content.bytes();
  return leaf;
}

void collect(GMimeObject* object, int depth, int maxDepth, std::vector<Leaf>& out) {
  if (!object) return;
  if (GMIME_IS_MULTIPART(object) && depth < maxDepth) {
    auto* multipart = GMIME_MULTIPART(object);
    int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) collect(g_mime_multipart_get_part(multipart, i), depth + 1, maxDepth, out);
    return;
  }
  out.push_back(leafOf(object));
}

}  // namespace

std::vector<Leaf> leaves(std::string_view message, int maxDepth) {
  initializeOnce();
  std::vector<Leaf> out;
  GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(message.data(), message.size()));
  GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GRef<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  if (parsed) collect(g_mime_message_get_mime_part(parsed.get()), 0, maxDepth, out);
  return out;
}

std::string iconvCharsetName(std::string_view label) {
  initializeOnce();
  std::string name(label);
  const char* known = g_mime_charset_iconv_name(name.c_str());
  return known ? std::string(known) : name;
}

}  // namespace qs::QSMimeStructure
