#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellux {

// The encodings around a publisher's key and signature, decoded without any
// cryptography: base64, PEM, and the few DER structures of an ECDSA P-256
// key and signature. Every function refuses what it does not fully
// understand (std::nullopt) rather than guess.

// Standard base64 with its '=' padding; no other byte is allowed.
std::optional<std::string> DecodeBase64(std::string_view text);

// The DER bytes of the first "-----BEGIN <label>-----" block of a PEM text.
std::optional<std::string> PemBlock(std::string_view pem, std::string_view label);

// X and Y (32 bytes each, big-endian) of a SubjectPublicKeyInfo that holds
// an uncompressed point of an EC key on curve P-256.
std::optional<std::array<uint8_t, 64>> P256PointOfPublicKeyInfo(std::string_view der);

// r and s (32 bytes each, big-endian) of a DER ECDSA-Sig-Value
// (SEQUENCE of two positive INTEGERs, each at most 256 bits).
std::optional<std::array<uint8_t, 64>> RawP256Signature(std::string_view der);

}  // namespace pellux
