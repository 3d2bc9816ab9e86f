// The Windows Calendar family: appointments source 1, which goes with Windows Contacts of code 1.
#include "stores/base/single_store_family.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"
#include "stores/windows_calendar/appointment_win_vista.h"

namespace {

constexpr SourceRow kRows[] = {
    {.kind = SourceKind::Appointments,
     .code = 1,
     .flag = SourceFlags::kWindowsVistaContacts,
     .available = IsWindowsVista},
};

std::unique_ptr<COutlook> MakeStore(const StoreServices& services)
{
    return std::make_unique<CAppointmentWinVista>(services.log);
}

const FamilyRegistration kRegistration(SingleStoreFamilyDescription<kRows, MakeStore, nullptr>(30));

}  // namespace
