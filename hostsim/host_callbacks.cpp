// The hub of the host's callback tables: which host a callback talks to,
// the fault plan's matching, the registration callback and the names of
// host calls. The callbacks themselves live with their family:
// interact_callbacks.cpp, world_callbacks.cpp, ansi_callbacks.cpp and
// suite_callbacks.cpp.
#include <array>
#include <string_view>

#include "hostsim/host_call.h"

namespace shardcast::hostsim {
namespace {

thread_local SimulatedHost::Core* active_host = nullptr;

// Indexed by HostCall, in its order.
constexpr std::array<std::string_view, 22> host_call_names{
    "registration_callback",
    "checkout_param",
    "checkin_param",
    "add_param",
    "abort",
    "progress",
    "copy",
    "fill",
    "new_world",
    "dispose_world",
    "get_pixel_data8",
    "ansi.sprintf",
    "AcquireSuite",
    "ReleaseSuite",
    "AllocateBlock",
    "FreeBlock",
    "PF ANSI Suite sprintf",
    "PF_UpdateParamUI",
    "ClearSupportedPixelFormats",
    "AddSupportedPixelFormat",
    "GetPixelFormat",
    "unsupported",
};
static_assert(static_cast<std::size_t>(HostCall::Unsupported) + 1 == host_call_names.size());

bool rule_matches(const FailRule& rule, const CallRecord& record, std::size_t position) {
  return (!rule.call || *rule.call == record.call) &&
         (!rule.position || *rule.position == position) &&
         (!rule.param_index || *rule.param_index == record.param_index) &&
         (!rule.suite_name || *rule.suite_name == record.suite_name);
}

}  // namespace

ActiveHost::ActiveHost(SimulatedHost::Core& core) : previous_(active_host) { active_host = &core; }

ActiveHost::~ActiveHost() { active_host = previous_; }

SimulatedHost::Core* active_core() { return active_host; }

bool is_release(HostCall call) {
  return call == HostCall::CheckinParam || call == HostCall::DisposeWorld ||
         call == HostCall::ReleaseSuite || call == HostCall::FreeBlock;
}

std::optional<PF_Err> injected_fault(const FaultPlan& faults, const CallRecord& record,
                                     std::size_t position) {
  for (const FailRule& rule : faults.fail) {
    if (rule_matches(rule, record, position)) {
      return rule.error;
    }
  }
  return std::nullopt;
}

PF_Err unsupported_call() {
  return host_call(record_of(HostCall::Unsupported), std::nullopt,
                   [](SimulatedHost::Core&) { return PF_Err_INVALID_CALLBACK; });
}

void install_callbacks(SimulatedHost::Core& core) {
  install_interact_callbacks(core.interact);
  install_world_callbacks(core.utils);
  install_ansi_callbacks(core.utils.ansi, core.ansi_suite);
  install_suite_callbacks(core);
}

// The host's registration callback; lives here because it needs the active
// host like the other table callbacks.
A_Err registration_callback(PF_PluginDataPtr inPtr, const A_u_char* inNamePtr,
                            const A_u_char* inMatchNamePtr, const A_u_char* inCategoryPtr,
                            const A_u_char* inEntryPointNamePtr, A_long inkind,
                            A_long inApiVersionMajor, A_long inApiVersionMinor,
                            A_long inReservedInfo) {
  return host_call(record_of(HostCall::RegistrationCallback), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (inPtr != reinterpret_cast<PF_PluginDataPtr>(&core)) {
                       violation(core, "registration callback given a foreign host pointer");
                     }
                     const auto text = [&](const A_u_char* value, const char* what) {
                       if (value == nullptr) {
                         violation(core, std::string("registration callback given no ") + what);
                         return std::string();
                       }
                       return std::string(reinterpret_cast<const char*>(value));
                     };
                     Registration registration;
                     registration.host_pointer = inPtr;
                     registration.name = text(inNamePtr, "name");
                     registration.match_name = text(inMatchNamePtr, "match name");
                     registration.category = text(inCategoryPtr, "category");
                     registration.entry_point = text(inEntryPointNamePtr, "entry point");
                     registration.kind = inkind;
                     registration.api_version_major = inApiVersionMajor;
                     registration.api_version_minor = inApiVersionMinor;
                     registration.reserved_info = inReservedInfo;
                     core.command->registrations.push_back(std::move(registration));
                     return core.options.registration_result;
                   });
}

std::string_view host_call_name(HostCall call) {
  const auto index = static_cast<std::size_t>(call);
  return index < host_call_names.size() ? host_call_names[index] : "unknown";
}

}  // namespace shardcast::hostsim
