#pragma once
// Signatures in minisign's format, checked with OpenSSL's Ed25519 and BLAKE2b-512. A public key
// is an id and an Ed25519 key; a signature file names the id of its key, signs the file (its
// BLAKE2b-512 hash for the prehashed "ED" form, the bytes themselves for the legacy "Ed"
// form), and carries a trusted comment that a second, global signature binds to the first.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvaro {

using MinisignKeyId = std::array<std::uint8_t, 8>;

struct MinisignPublicKey {
  MinisignKeyId id{};
  std::array<std::uint8_t, 32> key{};
};

struct MinisignSignature {
  bool prehashed = true;  // "ED"; false for the legacy "Ed"
  MinisignKeyId keyId{};
  std::array<std::uint8_t, 64> signature{};
  std::string trustedComment;  // without its "trusted comment: " label
  std::array<std::uint8_t, 64> globalSignature{};
};

// A public key from a key file's text ("untrusted comment: ..." and the key's base64 line) or
// from the base64 line alone; nothing when it is not one.
std::optional<MinisignPublicKey> ParseMinisignPublicKey(std::string_view text);

// A signature file's four lines; nothing when the text is not one.
std::optional<MinisignSignature> ParseMinisignSignature(std::string_view text);

enum class MinisignCheck {
  Valid,
  UnknownKey,          // no key given has the signature's key id
  BadSignature,        // the file is not the one that was signed (or not with this key)
  BadGlobalSignature,  // the trusted comment was changed
  Unreadable,          // the file cannot be read
};

// Checks the file at a file-system path against the signature with whichever of `keys` has its
// key id, then the global signature: a Valid result also vouches for the trusted comment.
MinisignCheck VerifyMinisignFile(const std::string& path, const MinisignSignature& signature,
                                 const std::vector<MinisignPublicKey>& keys);

// Strict base64 (the standard alphabet, "=" padding, no blanks); nothing when malformed.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace pelvaro
