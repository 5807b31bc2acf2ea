// The simulated registry: four predefined roots holding trees of keys with
// case-insensitive names, typed values, access rights checked on every
// handle, and keys a test can make inaccessible.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace {

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

struct Key {
    std::string name;
    Key* parent = nullptr;
    std::vector<std::shared_ptr<Key>> children;  // in enumeration order
    std::vector<Value> values;                   // in creation order
    FILETIME lastWrite{};
    bool deleted = false;
};

// Subkeys enumerate in case-insensitive order of their lower-cased names,
// compared as Unicode, the order Wine's registry keeps.
std::wstring LowerUnicode(const std::string& name)
{
    std::wstring out = platform::FromAnsi(name);
    for (wchar_t& c : out) {
        if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
        else if (c == 0x0160 || c == 0x0152 || c == 0x017D) c += 1;
        else if (c == 0x0178) c = 0xFF;
    }
    return out;
}

bool EnumeratesBefore(const std::string& a, const std::string& b)
{
    return LowerUnicode(a) < LowerUnicode(b);
}

struct RootSlot {
    HKEY handle;
    std::shared_ptr<Key> key;
};

struct Refusal {
    HKEY root;
    std::string path;  // folded, no leading or trailing backslash
};

struct RegistryState {
    std::vector<RootSlot> roots;
    std::vector<Refusal> refused;
    bool refuseAll = false;
};

RegistryState Fresh()
{
    RegistryState state;
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
        state.roots.push_back({root, std::make_shared<Key>()});
    return state;
}

RegistryState& State()
{
    static RegistryState state = Fresh();
    return state;
}

struct KeyObject : KernelObject {
    const char* Kind() const override { return "key"; }
    std::shared_ptr<Key> key;
    HKEY root = nullptr;
    std::string path;  // as opened, relative to the root
    REGSAM access = 0;
};

const REGSAM kAllRights = KEY_ALL_ACCESS;

// Generic and maximum rights stand for the specific key rights they grant.
REGSAM SpecificRights(REGSAM access)
{
    REGSAM rights = access & 0x3F;
    if (access & 0x80000000u) rights |= KEY_READ & 0x3F;   // GENERIC_READ
    if (access & 0x40000000u) rights |= KEY_WRITE & 0x3F;  // GENERIC_WRITE
    if (access & 0x10000000u) rights |= 0x3F;              // GENERIC_ALL
    if (access & 0x02000000u) rights |= 0x3F;              // MAXIMUM_ALLOWED
    return rights;
}

RootSlot* FindRoot(HKEY handle)
{
    for (RootSlot& slot : State().roots)
        if (slot.handle == handle) return &slot;
    return nullptr;
}

// A handle as the calls see it: the key, where it lives and what it may do.
struct Opened {
    std::shared_ptr<Key> key;
    HKEY root = nullptr;
    std::string path;
    REGSAM rights = 0;
};

LONG Resolve(HKEY handle, Opened& out)
{
    if (RootSlot* slot = FindRoot(handle)) {
        out = {slot->key, slot->handle, "", kAllRights};
        return ERROR_SUCCESS;
    }
    auto* object = static_cast<KeyObject*>(LookupHandle(handle, "key"));
    if (object == nullptr) return ERROR_INVALID_HANDLE;
    if (object->key->deleted) return ERROR_KEY_DELETED;
    out = {object->key, object->root, object->path, SpecificRights(object->access)};
    return ERROR_SUCCESS;
}

std::string Join(const std::string& base, const std::string& name)
{
    return base.empty() ? name : base + "\\" + name;
}

bool Refused(HKEY root, const std::string& path)
{
    const RegistryState& state = State();
    if (state.refuseAll) return true;
    const std::string folded = detail::FoldName(path);
    for (const Refusal& refusal : state.refused) {
        if (refusal.root != root) continue;
        if (folded == refusal.path) return true;
        if (folded.size() > refusal.path.size() &&
            folded.compare(0, refusal.path.size(), refusal.path) == 0 &&
            folded[refusal.path.size()] == '\\')
            return true;
    }
    return false;
}

void SplitLenient(const std::string& path, std::vector<std::string>& parts);

// Splits a subkey path as the registry parses it: empty components (a
// doubled or trailing backslash) are passed over, a leading backslash makes
// the path invalid.
bool SplitPath(const char* subKey, std::vector<std::string>& parts)
{
    parts.clear();
    if (subKey == nullptr || *subKey == '\0') return true;
    if (subKey[0] == '\\') return false;
    SplitLenient(subKey, parts);
    return true;
}

void SplitLenient(const std::string& path, std::vector<std::string>& parts)
{
    parts.clear();
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = path.find('\\', start);
        const std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

std::shared_ptr<Key> Child(const Key& key, const std::string& name)
{
    for (const auto& child : key.children)
        if (detail::SameName(child->name, name)) return child;
    return nullptr;
}

std::shared_ptr<Key> AddChild(Key& key, const std::string& name)
{
    auto child = std::make_shared<Key>();
    child->name = name;
    child->parent = &key;
    child->lastWrite = detail::NowFileTime();
    auto at = std::find_if(key.children.begin(), key.children.end(),
                           [&](const std::shared_ptr<Key>& k) { return EnumeratesBefore(name, k->name); });
    key.children.insert(at, child);
    return child;
}

std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::vector<std::string>& parts,
                          std::string& path)
{
    for (const std::string& part : parts) {
        key = Child(*key, part);
        if (key == nullptr) return nullptr;
        path = Join(path, key->name);
    }
    return key;
}

void MarkDeleted(Key& key)
{
    key.deleted = true;
    for (auto& child : key.children) MarkDeleted(*child);
}

void Detach(Key& key)
{
    Key* parent = key.parent;
    MarkDeleted(key);
    if (parent == nullptr) return;
    auto& siblings = parent->children;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                  [&](const std::shared_ptr<Key>& k) { return k.get() == &key; }),
                   siblings.end());
    key.parent = nullptr;
}

Value* FindValue(Key& key, const char* name)
{
    const std::string wanted = name != nullptr ? name : "";
    for (Value& value : key.values)
        if (detail::SameName(value.name, wanted)) return &value;
    return nullptr;
}

HKEY NewHandle(const Opened& at, REGSAM access)
{
    auto* object = new KeyObject;
    object->key = at.key;
    object->root = at.root;
    object->path = at.path;
    object->access = access;
    return static_cast<HKEY>(RegisterHandle(object));
}

LONG OpenKey(HKEY base, LPCSTR subKey, REGSAM access, PHKEY result)
{
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Opened at;
    if (LONG error = Resolve(base, at)) return error;
    std::vector<std::string> parts;
    if (!SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
    std::string path = at.path;
    auto key = Walk(at.key, parts, path);
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    if (Refused(at.root, path)) return ERROR_ACCESS_DENIED;
    *result = NewHandle({key, at.root, path, 0}, access);
    return ERROR_SUCCESS;
}

// The subtree goes leaves first; a key that may not be deleted stops the
// removal there, leaving it and what was not reached yet.
LONG DeleteTree(Key& key, HKEY root, const std::string& path)
{
    if (Refused(root, path)) return ERROR_ACCESS_DENIED;
    while (!key.children.empty()) {
        auto child = key.children.front();
        if (LONG error = DeleteTree(*child, root, Join(path, child->name))) return error;
    }
    Detach(key);
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

Key* ControlKey(HKEY root, const std::string& path, bool create)
{
    RootSlot* slot = FindRoot(root);
    if (slot == nullptr) return nullptr;
    std::vector<std::string> parts;
    SplitLenient(path, parts);
    std::shared_ptr<Key> key = slot->key;
    for (const std::string& part : parts) {
        auto next = Child(*key, part);
        if (next == nullptr) {
            if (!create) return nullptr;
            next = AddChild(*key, part);
        }
        key = next;
    }
    return key.get();
}

}  // namespace

// ---- Control ---------------------------------------------------------------------
void ResetRegistry()
{
    State() = Fresh();
}

void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const std::string& data)
{
    Key* target = ControlKey(root, key, true);
    if (target == nullptr) return;
    if (Value* value = FindValue(*target, name.c_str())) {
        value->type = type;
        value->data = data;
    } else {
        target->values.push_back({name, type, data});
    }
}

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& text)
{
    SetValue(root, key, name, REG_SZ, text + '\0');
}

void AddKey(HKEY root, const std::string& key)
{
    ControlKey(root, key, true);
}

bool KeyExists(HKEY root, const std::string& key)
{
    return ControlKey(root, key, false) != nullptr;
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name)
{
    Key* target = ControlKey(root, key, false);
    return target != nullptr && FindValue(*target, name.c_str()) != nullptr;
}

std::string ValueData(HKEY root, const std::string& key, const std::string& name)
{
    Key* target = ControlKey(root, key, false);
    Value* value = target != nullptr ? FindValue(*target, name.c_str()) : nullptr;
    return value != nullptr ? value->data : std::string();
}

DWORD ValueType(HKEY root, const std::string& key, const std::string& name)
{
    Key* target = ControlKey(root, key, false);
    Value* value = target != nullptr ? FindValue(*target, name.c_str()) : nullptr;
    return value != nullptr ? value->type : REG_NONE;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& key)
{
    std::vector<std::string> names;
    if (Key* target = ControlKey(root, key, false))
        for (const auto& child : target->children) names.push_back(child->name);
    return names;
}

void RefuseKey(HKEY root, const std::string& key)
{
    std::vector<std::string> parts;
    SplitLenient(key, parts);
    std::string path;
    for (const std::string& part : parts) path = Join(path, part);
    State().refused.push_back({root, detail::FoldName(path)});
}

void RefuseAllKeys(bool refuse)
{
    State().refuseAll = refuse;
}

}  // namespace sim

// ---- advapi32: registry ---------------------------------------------------------------
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result)
{
    sim::NoteCall("RegOpenKeyA");
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    // An empty path hands back the handle that came in, not a new one.
    if (subKey == nullptr || *subKey == '\0') {
        sim::Opened at;
        if (LONG error = sim::Resolve(key, at)) return error;
        if (sim::Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
        *result = key;
        return ERROR_SUCCESS;
    }
    return sim::OpenKey(key, subKey, 0x02000000u /* MAXIMUM_ALLOWED */, result);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    sim::NoteCall("RegOpenKeyExA");
    return sim::OpenKey(key, subKey, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY), result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    sim::NoteCall("RegCreateKeyExA");
    if (result == nullptr || subKey == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    std::vector<std::string> parts;
    if (!sim::SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
    std::string path = at.path;
    for (const std::string& part : parts) path = sim::Join(path, part);
    if (sim::Refused(at.root, path)) return ERROR_ACCESS_DENIED;
    std::shared_ptr<sim::Key> current = at.key;
    path = at.path;
    bool created = false;
    for (const std::string& part : parts) {
        auto next = sim::Child(*current, part);
        if (next == nullptr) {
            next = sim::AddChild(*current, part);
            created = true;
        }
        current = next;
        path = sim::Join(path, current->name);
    }
    if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = sim::NewHandle({current, at.root, path, 0}, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY));
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size)
{
    sim::NoteCall("RegQueryValueExA");
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    if (!(at.rights & KEY_QUERY_VALUE) || sim::Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    const sim::Value* value = sim::FindValue(*at.key, valueName);
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = value->type;
    const DWORD needed = static_cast<DWORD>(value->data.size());
    if (size == nullptr) return ERROR_SUCCESS;
    if (data == nullptr) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size)
{
    sim::NoteCall("RegSetValueExA");
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    if (!(at.rights & KEY_SET_VALUE) || sim::Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    if (data == nullptr && size > 0) return ERROR_NOACCESS;
    // A string counted without its NUL gets it when the NUL follows in memory.
    if (size > 0 && sim::IsStringType(type) && data[size - 1] != 0 && data[size] == 0) ++size;
    std::string bytes;
    if (size > 0) bytes.assign(reinterpret_cast<const char*>(data), size);
    if (sim::Value* value = sim::FindValue(*at.key, valueName)) {
        value->type = type;
        value->data = bytes;
    } else {
        at.key->values.push_back({valueName != nullptr ? valueName : "", type, bytes});
    }
    at.key->lastWrite = sim::detail::NowFileTime();
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWrite)
{
    sim::NoteCall("RegEnumKeyExA");
    if (name == nullptr || nameSize == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    if (!(at.rights & KEY_ENUMERATE_SUB_KEYS) || sim::Refused(at.root, at.path))
        return ERROR_ACCESS_DENIED;
    if (index >= at.key->children.size()) return ERROR_NO_MORE_ITEMS;
    const sim::Key& child = *at.key->children[index];
    const DWORD length = static_cast<DWORD>(child.name.size());
    if (length + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, child.name.c_str(), length + 1);
    *nameSize = length;
    if (className != nullptr && classSize != nullptr && *classSize > 0) className[0] = '\0';
    if (classSize != nullptr) *classSize = 0;
    if (lastWrite != nullptr) *lastWrite = child.lastWrite;
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    sim::NoteCall("RegDeleteValueA");
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    if (!(at.rights & KEY_SET_VALUE) || sim::Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    auto& values = at.key->values;
    const std::string wanted = valueName != nullptr ? valueName : "";
    auto found = std::find_if(values.begin(), values.end(), [&](const sim::Value& v) {
        return sim::detail::SameName(v.name, wanted);
    });
    if (found == values.end()) return ERROR_FILE_NOT_FOUND;
    values.erase(found);
    at.key->lastWrite = sim::detail::NowFileTime();
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    sim::NoteCall("RegDeleteKeyA");
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    std::vector<std::string> parts;
    if (!sim::SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
    std::string path = at.path;
    auto target = sim::Walk(at.key, parts, path);
    if (target == nullptr) return ERROR_FILE_NOT_FOUND;
    if (target->parent == nullptr) return ERROR_ACCESS_DENIED;  // a predefined root
    // The 9x family removes the whole subtree; NT refuses a key with subkeys.
    if (sim::detail::CurrentFamily() == sim::Family::Win9x) return sim::DeleteTree(*target, at.root, path);
    if (sim::Refused(at.root, path) || !target->children.empty()) return ERROR_ACCESS_DENIED;
    sim::Detach(*target);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    sim::NoteCall("RegCloseKey");
    if (sim::FindRoot(key) != nullptr) return ERROR_SUCCESS;
    if (sim::LookupHandle(key, "key") == nullptr) return ERROR_INVALID_HANDLE;
    sim::ReleaseHandle(key);
    return ERROR_SUCCESS;
}

// ---- shlwapi ------------------------------------------------------------------------------
DWORD SHDeleteKeyA(HKEY key, LPCSTR subKey)
{
    sim::NoteCall("SHDeleteKeyA");
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return static_cast<DWORD>(error);
    std::vector<std::string> parts;
    if (!sim::SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
    std::string path = at.path;
    auto target = sim::Walk(at.key, parts, path);
    if (target == nullptr) return ERROR_FILE_NOT_FOUND;
    // Emptying a whole predefined root is never what a caller means.
    if (target->parent == nullptr) return ERROR_ACCESS_DENIED;
    return static_cast<DWORD>(sim::DeleteTree(*target, at.root, path));
}
