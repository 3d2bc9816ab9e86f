// The agent over an emulated Outlook, for end-to-end tests: the same application as the shipped
// one, with the Outlook automation servers of the emulation registered before it starts.
//
//   TWINLARK_OUTLOOK_SEED   a JSON seed (support/outlook/outlook_seed.h); unset: an Outlook 14
//                           with one empty non-Exchange store. A bad seed ends the program with
//                           status 2 before it listens.
//   TWINLARK_OUTLOOK_STATE  where the emulation's state is written (atomically) after every Save
//                           or Delete, whenever no Outlook object is held any more, and at exit.
//
// A seed's clock is the agent's "now" as well.

#include <QFile>
#include <cstdio>

#include "app/ui/twinlark_app.h"
#include "common/clock.h"
#include "platform/atomic_file.h"
#include "support/outlook/outlook_emulation.h"
#include "support/outlook/outlook_seed.h"

int main(int argc, char** argv)
{
    OutlookEmulation outlook;
    const QByteArray seedPath = qgetenv("TWINLARK_OUTLOOK_SEED");
    if (!seedPath.isEmpty()) {
        QFile seed(QString::fromLocal8Bit(seedPath));
        if (!seed.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "Outlook seed %s cannot be read\n", seedPath.constData());
            return 2;
        }
        try {
            if (const std::optional<double> clock = ApplyOutlookSeed(outlook, seed.readAll()))
                SetLocalNowOleDate(*clock);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 2;
        }
    }
    const QString statePath = QString::fromLocal8Bit(qgetenv("TWINLARK_OUTLOOK_STATE"));
    const auto writeState = [&] {
        // Never throws: it may run while an Outlook object is let go.
        if (!statePath.isEmpty()) TryWriteFileAtomically(statePath, OutlookStateJson(outlook));
    };
    outlook.SetChangeListener(writeState);
    outlook.Register();
    int status = 0;
    {
        CTwinLarkApp app(argc, argv);
        status = app.Run();
    }
    writeState();
    outlook.SetChangeListener(nullptr);
    return status;
}
