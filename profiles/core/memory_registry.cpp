#include "profiles/core/memory_registry.h"

#include <cstring>
#include <iterator>

#include "profiles/core/utf8_text.h"

namespace pellix {

namespace {

constexpr uintptr_t kCurrentUserHandle = 0x80000001;  // HKEY_CURRENT_USER's value

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The path's components; empty ones (doubled or trailing '\') are skipped.
std::vector<std::string> SplitPath(const char* path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += *p;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

bool MemoryRegistry::NoCase::operator()(const std::string& a, const std::string& b) const {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(Fold(a[i]));
    const unsigned char y = static_cast<unsigned char>(Fold(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

MemoryRegistry::MemoryRegistry(bool withSoftwareKey) : root_(std::make_shared<Node>()) {
  if (withSoftwareKey) root_->subkeys["Software"] = std::make_shared<Node>();
}

MemoryRegistry::~MemoryRegistry() = default;

RegKey MemoryRegistry::CurrentUser() { return reinterpret_cast<RegKey>(kCurrentUserHandle); }

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Resolve(RegKey key) const {
  const uintptr_t id = reinterpret_cast<uintptr_t>(key);
  if (id == kCurrentUserHandle) return root_;
  auto it = handles_.find(id);
  if (it == handles_.end() || it->second->deleted) return nullptr;
  return it->second;
}

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Walk(std::shared_ptr<Node> from,
                                                           const char* path, bool create) const {
  for (const std::string& part : SplitPath(path)) {
    if (part.size() > kMaxRegKeyName) return nullptr;
    auto it = from->subkeys.find(part);
    if (it == from->subkeys.end()) {
      if (!create) return nullptr;
      it = from->subkeys.emplace(part, std::make_shared<Node>()).first;
    }
    from = it->second;
  }
  return from;
}

RegKey MemoryRegistry::NewHandle(std::shared_ptr<Node> node) {
  const uintptr_t id = nextHandle_;
  nextHandle_ += 4;
  handles_[id] = std::move(node);
  return reinterpret_cast<RegKey>(id);
}

bool MemoryRegistry::OpenKey(RegKey parent, const char* name, uint32_t, RegKey* key) {
  std::shared_ptr<Node> from = Resolve(parent);
  if (from == nullptr || key == nullptr) return false;
  std::shared_ptr<Node> node = Walk(from, name ? name : "", false);
  if (node == nullptr) return false;
  *key = NewHandle(node);
  return true;
}

bool MemoryRegistry::CreateKey(RegKey parent, const char* name, uint32_t, RegKey* key) {
  std::shared_ptr<Node> from = Resolve(parent);
  if (from == nullptr || key == nullptr) return false;
  std::shared_ptr<Node> node = Walk(from, name ? name : "", true);
  if (node == nullptr) return false;
  *key = NewHandle(node);
  return true;
}

void MemoryRegistry::CloseKey(RegKey key) { handles_.erase(reinterpret_cast<uintptr_t>(key)); }

bool MemoryRegistry::QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                                uint32_t* size) {
  std::shared_ptr<Node> node = Resolve(key);
  if (node == nullptr) return false;
  auto it = node->values.find(name ? name : "");
  if (it == node->values.end()) return false;
  const uint32_t needed = static_cast<uint32_t>(it->second.bytes.size());
  if (type != nullptr) *type = it->second.type;
  if (data != nullptr) {
    if (size == nullptr || *size < needed) {
      if (size != nullptr) *size = needed;
      return false;
    }
    if (needed > 0) std::memcpy(data, it->second.bytes.data(), needed);
  }
  if (size != nullptr) *size = needed;
  return true;
}

bool MemoryRegistry::SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                              uint32_t size) {
  std::shared_ptr<Node> node = Resolve(key);
  if (node == nullptr || (data == nullptr && size > 0)) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  Value& value = node->values[name ? name : ""];
  value.type = type;
  value.bytes.assign(bytes, bytes + size);
  return true;
}

bool MemoryRegistry::SetText(RegKey key, const char* name, const char* text) {
  if (text == nullptr || !IsUtf8(text, std::strlen(text))) return false;
  return SetValue(key, name, kRegSz, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

bool MemoryRegistry::QueryText(RegKey key, const char* name, char* text, uint32_t capacity) {
  std::shared_ptr<Node> node = Resolve(key);
  if (node == nullptr || text == nullptr) return false;
  auto it = node->values.find(name ? name : "");
  if (it == node->values.end() || it->second.type != kRegSz) return false;
  // The text ends at its first NUL, or with the bytes when it has none.
  const std::vector<uint8_t>& bytes = it->second.bytes;
  size_t length = 0;
  while (length < bytes.size() && bytes[length] != 0) ++length;
  const char* chars = reinterpret_cast<const char*>(bytes.data());
  if (length + 1 > capacity || !IsUtf8(chars, length)) return false;
  if (length > 0) std::memcpy(text, chars, length);
  text[length] = '\0';
  return true;
}

bool MemoryRegistry::EnumKey(RegKey key, uint32_t index, char* name, uint32_t capacity) {
  std::shared_ptr<Node> node = Resolve(key);
  if (node == nullptr || name == nullptr || index >= node->subkeys.size()) return false;
  auto it = node->subkeys.begin();
  std::advance(it, index);
  if (it->first.size() + 1 > capacity) return false;
  std::memcpy(name, it->first.c_str(), it->first.size() + 1);
  return true;
}

bool MemoryRegistry::CountSubKeys(RegKey key, uint32_t* count) {
  std::shared_ptr<Node> node = Resolve(key);
  if (node == nullptr || count == nullptr) return false;
  *count = static_cast<uint32_t>(node->subkeys.size());
  return true;
}

bool MemoryRegistry::DeleteKey(RegKey parent, const char* name) {
  std::shared_ptr<Node> from = Resolve(parent);
  if (from == nullptr || name == nullptr) return false;
  std::vector<std::string> parts = SplitPath(name);
  if (parts.empty()) return false;  // deleting the parent itself is never asked for
  const std::string leaf = parts.back();
  parts.pop_back();
  for (const std::string& part : parts) {
    auto it = from->subkeys.find(part);
    if (it == from->subkeys.end()) return false;
    from = it->second;
  }
  auto it = from->subkeys.find(leaf);
  if (it == from->subkeys.end() || !it->second->subkeys.empty()) return false;
  it->second->deleted = true;  // open handles to it stop working, as on Windows
  from->subkeys.erase(it);
  return true;
}

}  // namespace pellix
