#pragma once
// The agent's connection to Outlook. All twenty Outlook stores (contacts, appointments, notes
// and tasks of versions 8, 9, 11, 12 and 14) exist from the start; OfficeInit starts the
// installed Outlook and attaches the four stores of its version, OfficeDestroy lets every store
// go again. Exchange detection and the category names of the running Outlook live here too.
//
//   OutlookConnection outlook(logLine, [&] { return theOutlookStores(); });
//   if (!outlook.OfficeInit()) ...                   // "Office init Error" already logged
//   outlook.OfficeDestroy();
//
// The stores are asked for at every opening and release rather than kept, so a store the agent
// replaces (tests put fakes in its place) is never reached through a stale pointer.

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

#include "stores/outlook/outlook_store_frame.h"

class OutlookConnection : public OutlookAccess {
public:
    using LogLine = std::function<void(const QString&)>;
    // The Outlook stores there are now, of every kind and version.
    using StoreProvider = std::function<std::vector<OutlookStoreFrame*>()>;

    // The object-model versions, in the order OfficeInit tries them: the newest that starts
    // wins, the one the source detection offers the peer.
    static constexpr std::array<int, 5> kVersionsNewestFirst = {14, 12, 11, 9, 8};

    OutlookConnection(LogLine log, StoreProvider stores) : log_(std::move(log)), stores_(std::move(stores)) {}
    OutlookConnection(const OutlookConnection&) = delete;
    OutlookConnection& operator=(const OutlookConnection&) = delete;

    // Where a store's Init message goes (never blocking): the window's message box, or a log line.
    void SetMessageHook(std::function<void(const QString&)> hook) { messageHook_ = std::move(hook); }

    // True at once while open. Otherwise starts the newest Outlook version whose ProgID answers
    // and runs Init of its contact, appointment, note and task stores in that order; logs
    // "Using MS Exchange Server" when the contact store found an Exchange mailbox. A failing Init
    // logs "Office init Error" and answers false; false without a log line when no version starts.
    bool OfficeInit() override;
    // Releases every Outlook object of every store, whichever version is open, and creates
    // nothing. Always true.
    bool OfficeDestroy() override;
    bool IsOpen() const { return open_; }
    // The version OfficeInit opened, or 0.
    int OpenVersion() const { return open_ ? openVersion_ : 0; }

    // Whether a store of the Outlook 12 or 14 profile is a primary Exchange mailbox. An
    // automation failure ends the look with what was found so far.
    bool IsUsingExchangeServer() const;
    // The category names of the running Outlook, from a connection of its own. Throws
    // AgentError("Error") when Outlook cannot be created; automation failures pass.
    QStringList CategoryNames() const override;

private:
    std::vector<OutlookStoreFrame*> StoresOf(int version) const;

    LogLine log_;
    std::function<void(const QString&)> messageHook_;
    StoreProvider stores_;
    bool open_ = false;
    int openVersion_ = 0;
};

// "Outlook.Application.<version>".
QString OutlookProgId(int version);
