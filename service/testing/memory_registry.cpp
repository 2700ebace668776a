#include "testing/memory_registry.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace kqm {

namespace {

unsigned char Upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

// Splits a path into its key names. One trailing backslash is tolerated (Windows ignores
// it); a leading backslash, an empty name anywhere else, or a NUL make the path invalid.
bool SplitPath(std::string_view path, std::vector<std::string_view>* parts) {
    parts->clear();
    if (!path.empty() && path.front() == '\\') return false;
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return true;
    if (path.find('\0') != std::string_view::npos) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty()) return false;
        parts->push_back(part);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

std::string_view PathArg(const char* path) {
    return path == nullptr ? std::string_view() : path;
}

const char* TypeName(std::uint32_t type) {
    switch (type) {
        case kRegNone:
            return "none";
        case kRegSz:
            return "sz";
        case kRegExpandSz:
            return "expand_sz";
        case kRegBinary:
            return "binary";
        case kRegDword:
            return "dword";
        case kRegMultiSz:
            return "multi_sz";
        default:
            return nullptr;
    }
}

void AppendHexByte(std::string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789abcdef";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0f];
}

void AppendEscaped(std::string& out, std::string_view text, bool valueName) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (valueName && (c == '\\' || c == '"')) {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u > 0x7e || (!valueName && c == ']')) {
            out += "\\x";
            AppendHexByte(out, u);
        } else {
            out += c;
        }
    }
}

}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = Upper(a[i]);
        const unsigned char cb = Upper(b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

// Subkeys are kept sorted in a vector: lookup by name is a binary search and enumeration by
// index is direct, so neither grows with the index asked for.
struct MemoryRegistry::Node {
    std::string name;
    std::string path;  // from the root, with the case every key was created with
    std::vector<std::shared_ptr<Node>> children;
    std::map<std::string, StoredValue, CaseInsensitiveLess> values;
    bool deleted = false;

    std::vector<std::shared_ptr<Node>>::iterator LowerBound(std::string_view childName) {
        return std::lower_bound(children.begin(), children.end(), childName,
                                [](const std::shared_ptr<Node>& child, std::string_view n) {
                                    return CaseInsensitiveLess()(child->name, n);
                                });
    }

    Node* Find(std::string_view childName) {
        const auto it = LowerBound(childName);
        if (it == children.end() || !EqualsIgnoringCase((*it)->name, childName)) return nullptr;
        return it->get();
    }

    // Returns the child and whether it was created.
    std::pair<std::shared_ptr<Node>, bool> FindOrAdd(std::string_view childName) {
        const auto it = LowerBound(childName);
        if (it != children.end() && EqualsIgnoringCase((*it)->name, childName)) {
            return {*it, false};
        }
        auto child = std::make_shared<Node>();
        child->name = std::string(childName);
        child->path = path.empty() ? child->name : path + "\\" + child->name;
        children.insert(it, child);
        return {std::move(child), true};
    }

    // Marks this key and all below it deleted, so open handles to them fail, and drops them.
    void DropContent() {
        for (const auto& child : children) {
            child->DropContent();
            child->deleted = true;
        }
        children.clear();
        values.clear();
    }
};

namespace {

using Node = MemoryRegistry::Node;

Node* Walk(Node* root, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return nullptr;
    Node* node = root;
    for (const auto part : parts) {
        node = node->Find(part);
        if (node == nullptr) return nullptr;
    }
    return node;
}

void DumpNode(const Node& node, std::string& out) {
    if (!node.path.empty() || !node.values.empty()) {
        out += '[';
        AppendEscaped(out, node.path, false);
        out += "]\n";
    }
    for (const auto& [name, value] : node.values) {
        if (name.empty()) {
            out += '@';
        } else {
            out += '"';
            AppendEscaped(out, name, true);
            out += '"';
        }
        out += '=';
        if (const char* typeName = TypeName(value.type)) {
            out += typeName;
        } else {
            out += "type(" + std::to_string(value.type) + ")";
        }
        out += ':';
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            if (i != 0) out += ',';
            AppendHexByte(out, value.data[i]);
        }
        out += '\n';
    }
    for (const auto& child : node.children) DumpNode(*child, out);
}

}  // namespace

const char* OperationName(MemoryRegistry::Operation operation) {
    switch (operation) {
        case MemoryRegistry::Operation::Open:
            return "Open";
        case MemoryRegistry::Operation::Create:
            return "Create";
        case MemoryRegistry::Operation::CreateDefaultView:
            return "CreateDefaultView";
        case MemoryRegistry::Operation::Query:
            return "Query";
        case MemoryRegistry::Operation::Enum:
            return "Enum";
        case MemoryRegistry::Operation::Set:
            return "Set";
        case MemoryRegistry::Operation::Close:
            return "Close";
        case MemoryRegistry::Operation::Delete:
            return "Delete";
    }
    return "?";
}

MemoryRegistry::MemoryRegistry() : root_(std::make_shared<Node>()) {}

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::Count(Operation operation) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_.total;
    switch (operation) {
        case Operation::Open:
            ++counts_.open;
            break;
        case Operation::Create:
            ++counts_.create;
            break;
        case Operation::CreateDefaultView:
            ++counts_.createDefaultView;
            break;
        case Operation::Query:
            ++counts_.query;
            break;
        case Operation::Enum:
            ++counts_.enumerate;
            break;
        case Operation::Set:
            ++counts_.set;
            break;
        case Operation::Close:
            ++counts_.close;
            break;
        case Operation::Delete:
            ++counts_.deleteKey;
            break;
    }
}

// The hook runs without the lock held, so it may use the registry itself.
long MemoryRegistry::Inject(Operation operation, const char* path) const {
    FailureHook hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = hook_;
    }
    return hook ? hook(operation, path == nullptr ? "" : path) : kErrorSuccess;
}

long MemoryRegistry::InjectForHandle(Operation operation, RegKey key) const {
    FailureHook hook;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!hook_) return kErrorSuccess;
        hook = hook_;
        const auto it = handles_.find(key);
        if (it != handles_.end()) path = it->second.node->path;
    }
    return hook(operation, path.c_str());
}

Node* MemoryRegistry::Lookup(RegKey key, long* result) const {
    const auto it = handles_.find(key);
    if (it == handles_.end()) {
        *result = kErrorInvalidParameter;  // ERROR_INVALID_HANDLE on Windows; any failure will do
        return nullptr;
    }
    if (it->second.node->deleted) {
        *result = kErrorKeyDeleted;
        return nullptr;
    }
    *result = kErrorSuccess;
    return it->second.node.get();
}

long MemoryRegistry::OpenOrCreate(Operation operation, const char* path, bool create, bool writable,
                                  RegKey* key) {
    Count(operation);
    if (const long injected = Inject(operation, path)) return injected;
    if (key == nullptr) return kErrorInvalidParameter;
    std::vector<std::string_view> parts;
    if (!SplitPath(PathArg(path), &parts)) return kErrorInvalidParameter;

    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Node> node = root_;
    for (const auto part : parts) {
        if (create) {
            auto [child, created] = node->FindOrAdd(part);
            if (created) mutations_.push_back(Mutation{operation, child->path, {}, kRegNone, {}});
            node = std::move(child);
        } else {
            const auto it = node->LowerBound(part);
            if (it == node->children.end() || !EqualsIgnoringCase((*it)->name, part)) {
                return kErrorFileNotFound;
            }
            node = *it;
        }
    }
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(handle, Handle{std::move(node), writable});
    *key = handle;
    return kErrorSuccess;
}

long MemoryRegistry::OpenKey(const char* path, RegKey* key) {
    return OpenOrCreate(Operation::Open, path, false, false, key);
}

long MemoryRegistry::CreateKey(const char* path, KeyAccess access, RegKey* key) {
    return OpenOrCreate(Operation::Create, path, true, access == KeyAccess::AllAccess, key);
}

long MemoryRegistry::CreateKeyDefaultView(const char* path, RegKey* key) {
    // RegCreateKeyA asks for the most access allowed, which includes writing.
    return OpenOrCreate(Operation::CreateDefaultView, path, true, true, key);
}

long MemoryRegistry::QueryValue(RegKey key, const char* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) {
    Count(Operation::Query);
    if (const long injected = InjectForHandle(Operation::Query, key)) return injected;
    std::lock_guard<std::mutex> lock(mutex_);
    long result = kErrorSuccess;
    Node* node = Lookup(key, &result);
    if (node == nullptr) return result;
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    const auto it = node->values.find(PathArg(name));
    if (it == node->values.end()) return kErrorFileNotFound;
    const StoredValue& value = it->second;
    const auto length = static_cast<std::uint32_t>(value.data.size());  // bounded by SetValueAt
    if (data != nullptr) {
        if (length > *size) {
            *size = length;
            return kErrorMoreData;
        }
        if (length != 0) std::memcpy(data, value.data.data(), length);
    }
    if (size != nullptr) *size = length;
    if (type != nullptr) *type = value.type;
    return kErrorSuccess;
}

long MemoryRegistry::EnumKey(RegKey key, std::uint32_t index, char* name,
                             std::uint32_t* nameLength) {
    Count(Operation::Enum);
    if (const long injected = InjectForHandle(Operation::Enum, key)) return injected;
    std::lock_guard<std::mutex> lock(mutex_);
    long result = kErrorSuccess;
    Node* node = Lookup(key, &result);
    if (node == nullptr) return result;
    if (name == nullptr || nameLength == nullptr) return kErrorInvalidParameter;
    if (index >= node->children.size()) return kErrorNoMoreItems;
    const std::string& childName = node->children[index]->name;
    if (childName.size() >= *nameLength) return kErrorMoreData;  // no room for the NUL
    std::memcpy(name, childName.data(), childName.size());
    name[childName.size()] = '\0';
    *nameLength = static_cast<std::uint32_t>(childName.size());
    return kErrorSuccess;
}

long MemoryRegistry::SetValue(RegKey key, const char* name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
    Count(Operation::Set);
    if (const long injected = InjectForHandle(Operation::Set, key)) return injected;
    std::lock_guard<std::mutex> lock(mutex_);
    long result = kErrorSuccess;
    Node* node = Lookup(key, &result);
    if (node == nullptr) return result;
    if (!handles_[key].writable) return kErrorAccessDenied;
    if (data == nullptr && size != 0) return kErrorInvalidParameter;
    const std::string_view valueName = PathArg(name);
    StoredValue value{type, data == nullptr ? std::vector<std::uint8_t>()
                                            : std::vector<std::uint8_t>(data, data + size)};
    mutations_.push_back(
        Mutation{Operation::Set, node->path, std::string(valueName), type, value.data});
    const auto it = node->values.find(valueName);
    if (it != node->values.end()) {
        it->second = std::move(value);  // the name keeps the case it was created with
    } else {
        node->values.emplace(std::string(valueName), std::move(value));
    }
    return kErrorSuccess;
}

void MemoryRegistry::CloseKey(RegKey key) {
    Count(Operation::Close);
    (void)InjectForHandle(Operation::Close, key);
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.erase(key);
}

long MemoryRegistry::DeleteKey(const char* path) {
    Count(Operation::Delete);
    if (const long injected = Inject(Operation::Delete, path)) return injected;
    if (path == nullptr) return kErrorInvalidParameter;
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return kErrorInvalidParameter;
    if (parts.empty()) return kErrorAccessDenied;  // HKEY_LOCAL_MACHINE itself
    std::lock_guard<std::mutex> lock(mutex_);
    Node* parent = root_.get();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = parent->Find(parts[i]);
        if (parent == nullptr) return kErrorFileNotFound;
    }
    const auto it = parent->LowerBound(parts.back());
    if (it == parent->children.end() || !EqualsIgnoringCase((*it)->name, parts.back())) {
        return kErrorFileNotFound;
    }
    if (!(*it)->children.empty()) return kErrorAccessDenied;
    mutations_.push_back(Mutation{Operation::Delete, (*it)->path, {}, kRegNone, {}});
    (*it)->DropContent();
    (*it)->deleted = true;
    parent->children.erase(it);
    return kErrorSuccess;
}

bool MemoryRegistry::CreateKeyAt(std::string_view path) {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    Node* node = root_.get();
    for (const auto part : parts) node = node->FindOrAdd(part).first.get();
    return true;
}

bool MemoryRegistry::SetValueAt(std::string_view path, std::string_view name, std::uint32_t type,
                                std::vector<std::uint8_t> data) {
    if (data.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    Node* node = root_.get();
    for (const auto part : parts) node = node->FindOrAdd(part).first.get();
    const auto it = node->values.find(name);
    if (it != node->values.end()) {
        it->second = StoredValue{type, std::move(data)};
    } else {
        node->values.emplace(std::string(name), StoredValue{type, std::move(data)});
    }
    return true;
}

bool MemoryRegistry::SetStringAt(std::string_view path, std::string_view name,
                                 std::string_view text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return SetValueAt(path, name, kRegSz, std::move(data));
}

bool MemoryRegistry::SetDwordAt(std::string_view path, std::string_view name, std::uint32_t value) {
    std::vector<std::uint8_t> data(4);
    for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return SetValueAt(path, name, kRegDword, std::move(data));
}

bool MemoryRegistry::DeleteValueAt(std::string_view path, std::string_view name) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node* node = Walk(root_.get(), path);
    if (node == nullptr) return false;
    const auto it = node->values.find(name);
    if (it == node->values.end()) return false;
    node->values.erase(it);
    return true;
}

bool MemoryRegistry::DeleteTreeAt(std::string_view path) {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, &parts)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (parts.empty()) {
        root_->DropContent();
        return true;
    }
    Node* parent = root_.get();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = parent->Find(parts[i]);
        if (parent == nullptr) return false;
    }
    const auto it = parent->LowerBound(parts.back());
    if (it == parent->children.end() || !EqualsIgnoringCase((*it)->name, parts.back())) {
        return false;
    }
    (*it)->DropContent();
    (*it)->deleted = true;
    parent->children.erase(it);
    return true;
}

bool MemoryRegistry::KeyExists(std::string_view path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Walk(root_.get(), path) != nullptr;
}

std::optional<StoredValue> MemoryRegistry::GetValueAt(std::string_view path,
                                                      std::string_view name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Node* node = Walk(root_.get(), path);
    if (node == nullptr) return std::nullopt;
    const auto it = node->values.find(name);
    if (it == node->values.end()) return std::nullopt;
    return it->second;
}

std::vector<std::string> MemoryRegistry::SubkeyNames(std::string_view path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    if (const Node* node = Walk(root_.get(), path)) {
        for (const auto& child : node->children) names.push_back(child->name);
    }
    return names;
}

std::vector<std::string> MemoryRegistry::ValueNames(std::string_view path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    if (const Node* node = Walk(root_.get(), path)) {
        for (const auto& entry : node->values) names.push_back(entry.first);
    }
    return names;
}

std::string MemoryRegistry::Dump() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string out;
    DumpNode(*root_, out);
    return out;
}

std::size_t MemoryRegistry::openHandleCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

MemoryRegistry::CallCounts MemoryRegistry::callCounts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

void MemoryRegistry::ResetCallCounts() {
    std::lock_guard<std::mutex> lock(mutex_);
    counts_ = CallCounts{};
}

std::vector<MemoryRegistry::Mutation> MemoryRegistry::mutations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mutations_;
}

void MemoryRegistry::ClearMutations() {
    std::lock_guard<std::mutex> lock(mutex_);
    mutations_.clear();
}

void MemoryRegistry::SetFailureHook(FailureHook hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

}  // namespace kqm
