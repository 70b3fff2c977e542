#include "net/SignatureEncoding.h"

#include <algorithm>

namespace pellux {

namespace {
int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// One DER element: its tag and its content; `rest` is what follows it.
struct DerElement {
  uint8_t tag = 0;
  std::string_view content;
  std::string_view rest;
};

// Definite lengths only, in their shortest form, as DER demands.
std::optional<DerElement> ReadDer(std::string_view der) {
  if (der.size() < 2) return std::nullopt;
  DerElement element;
  element.tag = static_cast<uint8_t>(der[0]);
  size_t length = static_cast<uint8_t>(der[1]);
  size_t offset = 2;
  if (length & 0x80) {
    const size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 2 || der.size() < 2 + bytes) return std::nullopt;
    length = 0;
    for (size_t i = 0; i < bytes; ++i) length = length << 8 | static_cast<uint8_t>(der[2 + i]);
    if (length < 0x80 || (bytes == 2 && length < 0x100)) return std::nullopt;
    offset += bytes;
  }
  if (der.size() - offset < length) return std::nullopt;
  element.content = der.substr(offset, length);
  element.rest = der.substr(offset + length);
  return element;
}

std::optional<DerElement> ReadDer(std::string_view der, uint8_t tag) {
  auto element = ReadDer(der);
  if (!element || element->tag != tag) return std::nullopt;
  return element;
}

constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kBitString = 0x03;
constexpr uint8_t kObjectId = 0x06;
constexpr uint8_t kSequence = 0x30;
// 1.2.840.10045.2.1 (id-ecPublicKey) and 1.2.840.10045.3.1.7 (prime256v1).
constexpr std::string_view kEcPublicKey("\x2A\x86\x48\xCE\x3D\x02\x01", 7);
constexpr std::string_view kPrime256v1("\x2A\x86\x48\xCE\x3D\x03\x01\x07", 8);

// A positive INTEGER of at most 32 bytes, left-padded into `out`.
bool ReadScalar(std::string_view content, uint8_t* out) {
  if (content.empty() || (static_cast<uint8_t>(content[0]) & 0x80)) return false;
  if (content.size() > 1 && content[0] == 0 && !(static_cast<uint8_t>(content[1]) & 0x80)) {
    return false;  // not the shortest form
  }
  if (content.size() == 33 && content[0] == 0) content.remove_prefix(1);
  if (content.size() > 32) return false;
  std::fill(out, out + 32, 0);
  std::copy(content.begin(), content.end(), out + 32 - content.size());
  return true;
}
}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=') {
      // Only at the very end, at most two.
      if (i + 2 < text.size() || (i + 1 < text.size() && text[i + 1] != '=')) return std::nullopt;
      ++padding;
      bits <<= 6;
      continue;
    }
    const int value = Base64Value(text[i]);
    if (value < 0) return std::nullopt;
    bits = bits << 6 | static_cast<uint32_t>(value);
    if (++count % 4 == 0) {
      bytes += static_cast<char>(bits >> 16 & 0xFF);
      bytes += static_cast<char>(bits >> 8 & 0xFF);
      bytes += static_cast<char>(bits & 0xFF);
      bits = 0;
    }
  }
  if (padding > 2) return std::nullopt;
  if (padding > 0) {
    bytes += static_cast<char>(bits >> 16 & 0xFF);
    if (padding == 1) bytes += static_cast<char>(bits >> 8 & 0xFF);
  }
  return bytes;
}

std::optional<std::string> PemBlock(std::string_view pem, std::string_view label) {
  const std::string begin = "-----BEGIN " + std::string(label) + "-----";
  const std::string end = "-----END " + std::string(label) + "-----";
  const size_t start = pem.find(begin);
  if (start == std::string_view::npos) return std::nullopt;
  const size_t stop = pem.find(end, start + begin.size());
  if (stop == std::string_view::npos) return std::nullopt;
  std::string body;
  for (char c : pem.substr(start + begin.size(), stop - start - begin.size())) {
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') body += c;
  }
  auto der = DecodeBase64(body);
  if (!der || der->empty()) return std::nullopt;
  return der;
}

std::optional<std::array<uint8_t, 64>> P256PointOfPublicKeyInfo(std::string_view der) {
  const auto info = ReadDer(der, kSequence);
  if (!info || !info->rest.empty()) return std::nullopt;
  const auto algorithm = ReadDer(info->content, kSequence);
  if (!algorithm) return std::nullopt;
  const auto type = ReadDer(algorithm->content, kObjectId);
  if (!type || type->content != kEcPublicKey) return std::nullopt;
  const auto curve = ReadDer(type->rest, kObjectId);
  if (!curve || curve->content != kPrime256v1 || !curve->rest.empty()) return std::nullopt;
  const auto key = ReadDer(algorithm->rest, kBitString);
  if (!key || !key->rest.empty()) return std::nullopt;
  // No unused bits, then 0x04 (uncompressed) and the two coordinates.
  if (key->content.size() != 66 || key->content[0] != 0 || key->content[1] != 0x04) {
    return std::nullopt;
  }
  std::array<uint8_t, 64> point{};
  std::copy(key->content.begin() + 2, key->content.end(), point.begin());
  return point;
}

std::optional<std::array<uint8_t, 64>> RawP256Signature(std::string_view der) {
  const auto value = ReadDer(der, kSequence);
  if (!value || !value->rest.empty()) return std::nullopt;
  const auto r = ReadDer(value->content, kInteger);
  if (!r) return std::nullopt;
  const auto s = ReadDer(r->rest, kInteger);
  if (!s || !s->rest.empty()) return std::nullopt;
  std::array<uint8_t, 64> raw{};
  if (!ReadScalar(r->content, raw.data()) || !ReadScalar(s->content, raw.data() + 32)) {
    return std::nullopt;
  }
  return raw;
}

}  // namespace pellux
