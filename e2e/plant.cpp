// Builds the infected sandbox inside the current Wine prefix through Win32
// calls: hijacker files, registry entries, running services and processes.
// Our own programs (sleeper.exe, hsservice.exe) must already be in the
// tools folder. Ends non-zero when anything could not be planted.
//
//   plant.exe infected | clean
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crc_forge.h"
#include "sandbox.h"

using namespace sandbox;

namespace {

int gFailures = 0;

void Check(bool ok, const std::string& what)
{
    if (!ok) {
        std::printf("plant: FAILED to %s (error %lu)\n", what.c_str(), GetLastError());
        ++gFailures;
    }
}

bool ReadAll(const std::string& path, std::vector<uint8_t>* data)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, nullptr), read = 0;
    data->assign(size, 0);
    bool ok = size == 0 || (ReadFile(file, data->data(), size, &read, nullptr) && read == size);
    CloseHandle(file);
    return ok;
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& data)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
              written == data.size();
    CloseHandle(file);
    return ok;
}

uint32_t Le32(const std::vector<uint8_t>& data, size_t at)
{
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (static_cast<uint32_t>(data[at + 3]) << 24);
}

// The sleeper with the probe-1 bytes written into the zero padding after its
// section table, where the loader never looks: it stays a working program.
bool InfectedProgram(std::vector<uint8_t>* program)
{
    if (!ReadAll(SleeperPath(), program)) return false;
    std::vector<uint8_t>& image = *program;
    if (image.size() < 1024 || image[0] != 'M' || image[1] != 'Z') return false;
    const size_t pe = Le32(image, 0x3C);
    if (pe + 24 > image.size() || Le32(image, pe) != 0x00004550) return false;
    const size_t sections = image[pe + 6] | (image[pe + 7] << 8);
    const size_t optionalSize = image[pe + 20] | (image[pe + 21] << 8);
    const size_t optional = pe + 24;
    const size_t tableEnd = optional + optionalSize + sections * 40;
    const uint32_t sizeOfHeaders = Le32(image, optional + 60);
    const size_t end = kProbe1Offset + sizeof kProbe1;
    if (tableEnd > kProbe1Offset || sizeOfHeaders < end) return false;
    for (size_t i = kProbe1Offset; i < end; ++i)
        if (image[i] != 0) return false;
    std::copy(kProbe1, kProbe1 + sizeof kProbe1, image.begin() + kProbe1Offset);
    return true;
}

bool Start(const std::string& exe, const std::string& argument)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!argument.empty()) commandLine += " \"" + argument + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string folder = exe.substr(0, exe.find_last_of('\\'));
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

// Polls a condition that a just-started process brings about (bounded).
template <typename Condition>
bool Eventually(Condition condition)
{
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        Sleep(50);
    }
    return false;
}

// Does another process hold the file open without delete sharing?
bool HeldOpen(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

void PlantFiles(bool infected)
{
    std::vector<uint8_t> sleeper;
    Check(ReadAll(SleeperPath(), &sleeper), "read " + SleeperPath());
    CreateDirectoryA((ToolsFolder() + "Internet Explorer").c_str(), nullptr);
    Check(WriteAll(IexplorePath(), sleeper), "write " + IexplorePath());
    Check(WriteAll(KeeperPath(), sleeper), "write " + KeeperPath());

    std::string subfolder = TempFolder() + kTempSubfolder;
    CreateDirectoryA(subfolder.c_str(), nullptr);
    Check(WriteAll(subfolder + "\\" + kTempSubfolderFile, {'k', 'e', 'e', 'p'}),
          "write the file in the temporary subfolder");

    for (const File& file : Files()) {
        if (!infected && !file.clean) continue;
        std::vector<uint8_t> content;
        if (file.kind == Kind::Probe1Program) {
            Check(InfectedProgram(&content), "put the probe-1 bytes into the sleeper's header padding");
        } else {
            content = ContentOf(file);
            if (file.kind == Kind::Digest)
                Check(forge::Crc32(content) == file.digest && content.size() == file.size,
                      std::string("forge the digest of ") + file.name);
        }
        const std::string path = PathOf(file);
        Check(WriteAll(path, content), "write " + path);
        std::vector<uint8_t> back;
        Check(ReadAll(path, &back) && back == content, "read back " + path);
        if (file.attributes != FILE_ATTRIBUTE_NORMAL)
            Check(SetFileAttributesA(path.c_str(), file.attributes) != 0, "set the attributes of " + path);
    }
}

void PlantRegistry(bool infected)
{
    for (const RegItem& item : RegistryItems()) {
        if (!infected && !item.clean) continue;
        const std::string where = RootName(item.root) + "\\" + item.key;
        if (item.value.empty()) {
            // A key with values and a subkey, as an installer leaves it.
            Check(WriteString(item.root, item.key, "", "sandbox") &&
                      WriteString(item.root, item.key, "DisplayName", "Planted by the sandbox") &&
                      WriteString(item.root, item.key + "\\0000", "Service", "sandbox"),
                  "create " + where);
        } else {
            Check(WriteString(item.root, item.key, item.value, item.data), "write " + where + " " + item.value);
        }
    }
}

void PlantServices()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    Check(manager != nullptr, "open the service manager");
    if (!manager) return;
    const std::string binary = "\"" + ServiceProgramPath() + "\"";
    for (const char* label = kRealServices; *label; ++label) {
        const std::string name = ServiceName(*label);
        // Display names must differ between services too.
        const std::string display = std::string("HomeSearch helper ") + *label;
        SC_HANDLE service = CreateServiceA(manager, name.c_str(), display.c_str(), SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                           SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr,
                                           nullptr, nullptr, nullptr);
        Check(service != nullptr, std::string("create service ") + *label);
        if (!service) continue;
        Check(StartServiceA(service, 0, nullptr) != 0, std::string("start service ") + *label);
        SERVICE_STATUS status = {};
        for (int i = 0; i < 300; ++i) {
            if (!QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_RUNNING) break;
            Sleep(100);
        }
        Check(status.dwCurrentState == SERVICE_RUNNING, std::string("run service ") + *label);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "infected" && mode != "clean") {
        std::printf("usage: plant.exe infected | clean\n");
        return 2;
    }
    const bool infected = mode == "infected";
    PlantFiles(infected);
    PlantRegistry(infected);
    if (infected) {
        PlantServices();
        // Running it proves that the patched header still loads.
        Check(Start(InfectedProgramPath(), "") && Eventually([] { return Running(InfectedProgramPath()); }),
              "run the infected program " + InfectedProgramPath());
        const std::string held = TempFolder() + "se.dll";
        Check(Start(KeeperPath(), held) && Eventually([&] { return HeldOpen(held); }),
              "hold " + held + " open");
    }
    Check(Start(IexplorePath(), "") && Eventually([] { return Running(IexplorePath()); }),
          "run " + IexplorePath());
    std::printf("plant: %s machine %s\n", mode.c_str(), gFailures ? "INCOMPLETE" : "ready");
    return gFailures ? 1 : 0;
}
