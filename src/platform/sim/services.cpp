// The simulated service control manager: services found by name, stopped
// through a stop control, and observed stopping through status queries.
#include <string>
#include <vector>

#include "platform/sim/kernel_object.h"
#include "platform/sim/machine.h"
#include "platform/sim/system_state.h"
#include "platform/win32.h"

namespace sim {
namespace {

struct Service {
    ServiceSpec spec;
    int pendingLeft = 0;  // status queries still answered STOP_PENDING; -1: for ever
    int stopControls = 0;
    int statusQueries = 0;
    DWORD checkPoint = 0;
};

struct ManagerState {
    std::vector<Service> services;
    bool managerAvailable = true;
};

ManagerState& State()
{
    static ManagerState state;
    return state;
}

Service* Find(const std::string& name)
{
    for (Service& service : State().services)
        if (detail::SameName(service.spec.name, name)) return &service;
    return nullptr;
}

struct ManagerObject : KernelObject {
    const char* Kind() const override { return "manager"; }
};

struct ServiceObject : KernelObject {
    const char* Kind() const override { return "service"; }
    std::string name;
    DWORD rights = 0;
};

const DWORD kAllServiceRights = 0x01FF;

DWORD SpecificRights(DWORD access)
{
    DWORD rights = access & kAllServiceRights;
    if (access & (0x10000000u | 0x02000000u)) rights |= kAllServiceRights;  // GENERIC_ALL, MAXIMUM_ALLOWED
    if (access & 0x80000000u) rights |= SERVICE_QUERY_STATUS | 0x0001 | 0x0008 | 0x0080;
    if (access & 0x20000000u) rights |= SERVICE_START | SERVICE_STOP | 0x0040 | 0x0100;
    return rights;
}

BOOL Fail(DWORD error)
{
    detail::SetError(error);
    return FALSE;
}

void Describe(const Service& service, LPSERVICE_STATUS status)
{
    if (status == nullptr) return;
    *status = SERVICE_STATUS{};
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = service.spec.state;
    if (service.spec.state == SERVICE_RUNNING && service.spec.acceptsStop)
        status->dwControlsAccepted = SERVICE_ACCEPT_STOP;
    if (service.spec.state == SERVICE_STOP_PENDING) {
        status->dwCheckPoint = service.checkPoint;
        status->dwWaitHint = 3000;
    }
}

// A handle that is gone or whose service was removed meanwhile.
Service* Resolve(SC_HANDLE handle, DWORD right, DWORD& error)
{
    auto* object = static_cast<ServiceObject*>(LookupHandle(handle, "service"));
    if (object == nullptr) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (!(object->rights & right)) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    Service* service = Find(object->name);
    if (service == nullptr) error = ERROR_INVALID_HANDLE;
    return service;
}

}  // namespace

namespace detail {

void FollowFamilyForServiceManager(Family family)
{
    State().managerAvailable = family == Family::Nt;
}

}  // namespace detail

// ---- Control ---------------------------------------------------------------------
void ResetServices()
{
    State() = ManagerState();
    State().managerAvailable = detail::CurrentFamily() == Family::Nt;
}

void AddService(const ServiceSpec& spec)
{
    Service service{spec};
    if (spec.state == SERVICE_STOP_PENDING) service.pendingLeft = spec.pendingQueries;
    if (Service* existing = Find(spec.name)) *existing = service;
    else State().services.push_back(service);
}

DWORD ServiceState(const std::string& name)
{
    const Service* service = Find(name);
    return service != nullptr ? service->spec.state : 0;
}

int StopControlsReceived(const std::string& name)
{
    const Service* service = Find(name);
    return service != nullptr ? service->stopControls : 0;
}

int StatusQueries(const std::string& name)
{
    const Service* service = Find(name);
    return service != nullptr ? service->statusQueries : 0;
}

void SetServiceManagerAvailable(bool available)
{
    State().managerAvailable = available;
}

}  // namespace sim

// ---- advapi32: services -------------------------------------------------------------------
SC_HANDLE OpenSCManagerA(LPCSTR, LPCSTR database, DWORD)
{
    sim::NoteCall("OpenSCManagerA");
    if (!sim::State().managerAvailable) {
        sim::detail::SetError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    if (database != nullptr && std::string(database) != SERVICES_ACTIVE_DATABASEA) {
        sim::detail::SetError(ERROR_INVALID_NAME);
        return nullptr;
    }
    return static_cast<SC_HANDLE>(sim::RegisterHandle(new sim::ManagerObject));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    sim::NoteCall("OpenServiceA");
    if (sim::LookupHandle(manager, "manager") == nullptr) {
        sim::detail::SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (name == nullptr || *name == '\0') {
        sim::detail::SetError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const sim::Service* service = sim::Find(name);
    if (service == nullptr) {
        sim::detail::SetError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (!service->spec.canOpen) {
        sim::detail::SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto* object = new sim::ServiceObject;
    object->name = service->spec.name;
    object->rights = sim::SpecificRights(access);
    return static_cast<SC_HANDLE>(sim::RegisterHandle(object));
}

BOOL ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status)
{
    sim::NoteCall("ControlService");
    if (status == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER);
    if (control != SERVICE_CONTROL_STOP) {
        // Only the stop control is modelled; other controls reach no service.
        DWORD error = 0;
        sim::Service* service = sim::Resolve(handle, 0x0100 /* SERVICE_USER_DEFINED_CONTROL */ | 0x0040 |
                                                         0x0080, error);
        if (service == nullptr) return sim::Fail(error);
        sim::Describe(*service, status);
        return sim::Fail(ERROR_INVALID_SERVICE_CONTROL);
    }
    DWORD error = 0;
    sim::Service* service = sim::Resolve(handle, SERVICE_STOP, error);
    if (service == nullptr) return sim::Fail(error);
    switch (service->spec.state) {
    case SERVICE_STOPPED:
        sim::Describe(*service, status);
        return sim::Fail(ERROR_SERVICE_NOT_ACTIVE);
    case SERVICE_STOP_PENDING:
    case SERVICE_START_PENDING:
        sim::Describe(*service, status);
        return sim::Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    default:
        break;
    }
    ++service->stopControls;
    if (!service->spec.acceptsStop) {
        sim::Describe(*service, status);
        return sim::Fail(ERROR_INVALID_SERVICE_CONTROL);
    }
    service->pendingLeft = service->spec.pendingQueries;
    service->spec.state = service->pendingLeft == 0 ? SERVICE_STOPPED : SERVICE_STOP_PENDING;
    service->checkPoint = 1;
    sim::Describe(*service, status);
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE handle, LPSERVICE_STATUS status)
{
    sim::NoteCall("QueryServiceStatus");
    if (status == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER);
    DWORD error = 0;
    sim::Service* service = sim::Resolve(handle, SERVICE_QUERY_STATUS, error);
    if (service == nullptr) return sim::Fail(error);
    ++service->statusQueries;
    if (service->spec.state == SERVICE_STOP_PENDING && service->pendingLeft == 0)
        service->spec.state = SERVICE_STOPPED;
    sim::Describe(*service, status);
    // The service finishes stopping once it has been seen pending often enough.
    if (service->spec.state == SERVICE_STOP_PENDING && service->pendingLeft > 0) {
        ++service->checkPoint;
        if (--service->pendingLeft == 0) service->spec.state = SERVICE_STOPPED;
    }
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    sim::NoteCall("CloseServiceHandle");
    if (sim::LookupHandle(handle, "service") == nullptr && sim::LookupHandle(handle, "manager") == nullptr)
        return sim::Fail(ERROR_INVALID_HANDLE);
    sim::ReleaseHandle(handle);
    return TRUE;
}
