// The simulated registry: four predefined roots holding trees of keys with
// case-insensitive Unicode names, typed values, access rights checked on
// every handle, and keys a test can make inaccessible. Key and value names
// are UTF-8 here (names.h); the A and W calls convert at their edge.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/names.h"
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
    const std::string folded = names::Fold(path);
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
bool SplitPath(const std::string& subKey, std::vector<std::string>& parts)
{
    parts.clear();
    if (!subKey.empty() && subKey[0] == '\\') return false;
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
        if (names::SameName(child->name, name)) return child;
    return nullptr;
}

std::shared_ptr<Key> AddChild(Key& key, const std::string& name)
{
    auto child = std::make_shared<Key>();
    child->name = name;
    child->parent = &key;
    child->lastWrite = detail::NowFileTime();
    // Subkeys enumerate in the order of their lower-cased names, compared as
    // UTF-16, the order Wine's registry keeps.
    auto at = std::find_if(key.children.begin(), key.children.end(),
                           [&](const std::shared_ptr<Key>& k) { return names::LowerLess(name, k->name); });
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

Value* FindValue(Key& key, const std::string& name)
{
    for (Value& value : key.values)
        if (names::SameName(value.name, name)) return &value;
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

// The existing key a subkey path names below a handle: `found` holds it,
// its root and its path from the root.
LONG FindKey(HKEY base, const std::string& subKey, Opened& found)
{
    if (LONG error = Resolve(base, found)) return error;
    std::vector<std::string> parts;
    if (!SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
    found.key = Walk(found.key, parts, found.path);
    return found.key != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG OpenKey(HKEY base, const std::string& subKey, REGSAM access, PHKEY result)
{
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Opened at;
    if (LONG error = FindKey(base, subKey, at)) return error;
    if (Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    *result = NewHandle({at.key, at.root, at.path, 0}, access);
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

LONG CreateKey(HKEY base, const std::string& subKey, REGSAM access, PHKEY result, LPDWORD disposition)
{
    *result = nullptr;
    Opened at;
    if (LONG error = Resolve(base, at)) return error;
    std::vector<std::string> parts;
    if (!SplitPath(subKey, parts)) return ERROR_BAD_PATHNAME;
    std::string path = at.path;
    for (const std::string& part : parts) path = Join(path, part);
    if (Refused(at.root, path)) return ERROR_ACCESS_DENIED;
    std::shared_ptr<Key> current = at.key;
    path = at.path;
    bool created = false;
    for (const std::string& part : parts) {
        auto next = Child(*current, part);
        if (next == nullptr) {
            next = AddChild(*current, part);
            created = true;
        }
        current = next;
        path = Join(path, current->name);
    }
    if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle({current, at.root, path, 0}, access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY));
    return ERROR_SUCCESS;
}

LONG DeleteKey(HKEY base, const std::string& subKey)
{
    Opened at;
    if (LONG error = FindKey(base, subKey, at)) return error;
    if (at.key->parent == nullptr) return ERROR_ACCESS_DENIED;  // a predefined root
    // The 9x family removes the whole subtree; NT refuses a key with subkeys.
    if (detail::CurrentFamily() == Family::Win9x) return DeleteTree(*at.key, at.root, at.path);
    if (Refused(at.root, at.path) || !at.key->children.empty()) return ERROR_ACCESS_DENIED;
    Detach(*at.key);
    return ERROR_SUCCESS;
}

// A subkey's name in the caller's buffer, counted in its characters: code
// page 1252 by best fit for the A call, UTF-16 for the W call.
template <typename Char>
LONG EnumKey(HKEY key, DWORD index, Char* name, LPDWORD nameSize, LPDWORD reserved, Char* className,
             LPDWORD classSize, PFILETIME lastWrite)
{
    if (name == nullptr || nameSize == nullptr || reserved != nullptr) return ERROR_INVALID_PARAMETER;
    Opened at;
    if (LONG error = Resolve(key, at)) return error;
    if (!(at.rights & KEY_ENUMERATE_SUB_KEYS) || Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    if (index >= at.key->children.size()) return ERROR_NO_MORE_ITEMS;
    const Key& child = *at.key->children[index];
    const std::basic_string<Char> text = names::ForCall(child.name, name);
    const auto length = static_cast<DWORD>(text.size());
    if (length + 1 > *nameSize) return ERROR_MORE_DATA;
    std::copy(text.begin(), text.end(), name);
    name[length] = 0;
    *nameSize = length;
    if (className != nullptr && classSize != nullptr && *classSize > 0) className[0] = 0;
    if (classSize != nullptr) *classSize = 0;
    if (lastWrite != nullptr) *lastWrite = child.lastWrite;
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

namespace {

Value* ControlValue(HKEY root, const std::string& key, const std::string& name)
{
    Key* target = ControlKey(root, names::FromAnsi(key), false);
    return target != nullptr ? FindValue(*target, names::FromAnsi(name)) : nullptr;
}

void SetControlValue(HKEY root, const std::string& key, const std::string& ansiName, DWORD type,
                     const std::string& data)
{
    Key* target = ControlKey(root, key, true);
    if (target == nullptr) return;
    const std::string name = names::FromAnsi(ansiName);
    if (Value* value = FindValue(*target, name)) {
        value->type = type;
        value->data = data;
    } else {
        target->values.push_back({name, type, data});
    }
}

std::vector<std::string> SubKeysOf(HKEY root, const std::string& key)
{
    std::vector<std::string> found;
    if (Key* target = ControlKey(root, key, false))
        for (const auto& child : target->children) found.push_back(child->name);
    return found;
}

}  // namespace

void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const std::string& data)
{
    SetControlValue(root, names::FromAnsi(key), name, type, data);
}

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& text)
{
    SetControlValue(root, names::FromAnsi(key), name, REG_SZ, text + '\0');
}

void SetString(HKEY root, const std::wstring& key, const std::string& name, const std::string& text)
{
    SetControlValue(root, names::FromWstring(key), name, REG_SZ, text + '\0');
}

void AddKey(HKEY root, const std::string& key) { ControlKey(root, names::FromAnsi(key), true); }
void AddKey(HKEY root, const std::wstring& key) { ControlKey(root, names::FromWstring(key), true); }

bool KeyExists(HKEY root, const std::string& key)
{
    return ControlKey(root, names::FromAnsi(key), false) != nullptr;
}

bool KeyExists(HKEY root, const std::wstring& key)
{
    return ControlKey(root, names::FromWstring(key), false) != nullptr;
}

bool ValueExists(HKEY root, const std::string& key, const std::string& name)
{
    return ControlValue(root, key, name) != nullptr;
}

std::string ValueData(HKEY root, const std::string& key, const std::string& name)
{
    const Value* value = ControlValue(root, key, name);
    return value != nullptr ? value->data : std::string();
}

DWORD ValueType(HKEY root, const std::string& key, const std::string& name)
{
    const Value* value = ControlValue(root, key, name);
    return value != nullptr ? value->type : REG_NONE;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& key)
{
    std::vector<std::string> listed;
    for (const std::string& name : SubKeysOf(root, names::FromAnsi(key))) listed.push_back(names::ToAnsi(name));
    return listed;
}

std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& key)
{
    std::vector<std::wstring> listed;
    for (const std::string& name : SubKeysOf(root, names::FromWstring(key))) listed.push_back(names::ToWstring(name));
    return listed;
}

void RefuseKey(HKEY root, const std::string& key)
{
    std::vector<std::string> parts;
    SplitLenient(names::FromAnsi(key), parts);
    std::string path;
    for (const std::string& part : parts) path = Join(path, part);
    State().refused.push_back({root, names::Fold(path)});
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
    return sim::OpenKey(key, sim::names::FromAnsi(subKey), 0x02000000u /* MAXIMUM_ALLOWED */, result);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    sim::NoteCall("RegOpenKeyExA");
    return sim::OpenKey(key, sim::names::FromAnsi(subKey), access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY), result);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result)
{
    sim::NoteCall("RegOpenKeyExW");
    return sim::OpenKey(key, sim::names::FromWide(subKey), access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY), result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    sim::NoteCall("RegCreateKeyExA");
    if (result == nullptr || subKey == nullptr) return ERROR_INVALID_PARAMETER;
    return sim::CreateKey(key, sim::names::FromAnsi(subKey), access, result, disposition);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    sim::NoteCall("RegCreateKeyExW");
    if (result == nullptr || subKey == nullptr) return ERROR_INVALID_PARAMETER;
    return sim::CreateKey(key, sim::names::FromWide(subKey), access, result, disposition);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size)
{
    sim::NoteCall("RegQueryValueExA");
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    if (!(at.rights & KEY_QUERY_VALUE) || sim::Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    const sim::Value* value = sim::FindValue(*at.key, sim::names::FromAnsi(valueName));
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
    const std::string name = sim::names::FromAnsi(valueName);
    if (sim::Value* value = sim::FindValue(*at.key, name)) {
        value->type = type;
        value->data = bytes;
    } else {
        at.key->values.push_back({name, type, bytes});
    }
    at.key->lastWrite = sim::detail::NowFileTime();
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWrite)
{
    sim::NoteCall("RegEnumKeyExA");
    return sim::EnumKey(key, index, name, nameSize, reserved, className, classSize, lastWrite);
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPWSTR className, LPDWORD classSize, PFILETIME lastWrite)
{
    sim::NoteCall("RegEnumKeyExW");
    return sim::EnumKey(key, index, name, nameSize, reserved, className, classSize, lastWrite);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    sim::NoteCall("RegDeleteValueA");
    sim::Opened at;
    if (LONG error = sim::Resolve(key, at)) return error;
    if (!(at.rights & KEY_SET_VALUE) || sim::Refused(at.root, at.path)) return ERROR_ACCESS_DENIED;
    auto& values = at.key->values;
    const std::string wanted = sim::names::FromAnsi(valueName);
    auto found = std::find_if(values.begin(), values.end(), [&](const sim::Value& v) {
        return sim::names::SameName(v.name, wanted);
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
    return sim::DeleteKey(key, sim::names::FromAnsi(subKey));
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey)
{
    sim::NoteCall("RegDeleteKeyW");
    if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
    return sim::DeleteKey(key, sim::names::FromWide(subKey));
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
    if (LONG error = sim::FindKey(key, sim::names::FromAnsi(subKey), at)) return static_cast<DWORD>(error);
    // Emptying a whole predefined root is never what a caller means.
    if (at.key->parent == nullptr) return ERROR_ACCESS_DENIED;
    return static_cast<DWORD>(sim::DeleteTree(*at.key, at.root, at.path));
}
