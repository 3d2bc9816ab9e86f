#pragma once
// The emulated Outlook as JSON: a seed sets it up, the state reports what it holds.
//
// Seed, every member optional:
//   {"versions": [14], "failCreate": ["Outlook.Application.12"], "gone": false,
//    "stores": [{"storeId": "S1", "exchangeStoreType": 3}], "categories": ["Red"],
//    "clock": 40344.5, "items": [item...], "faults": [fault...]}
// item: {"folder": "calendar"|"contacts"|"tasks"|"notes", "EntryID": "...", "<property>": value...,
//        "RecurrencePattern": {"<property>": value...}, "Attachments": [{"base64": "...", "picture": true}]}
//   strings, integers, true/false, dates as OLE-date numbers in local time; an unknown name or a
//   value of the wrong type is refused.
// fault: {"object": "contact", "member": "EntryID"|"0xF01E", "kind": "get"|"put"|"method",
//         "entryId": "...", "nth": 2, "error": "outlook"|"nothing"|"0x80004005"}
//   ("nothing": the call succeeds with an empty object, for members that answer an object)
//
// State: {"liveObjects": 0, "creations": {"Outlook.Application": 3}, "items": [item...]}, each
// item with every property its kind has in the emulated version, folders in the order above,
// items in insertion order.

#include <QByteArray>
#include <optional>

class OutlookEmulation;

// Applies a seed; throws std::invalid_argument naming what is wrong. The seed's clock, when
// given, is returned so the caller can make it the agent's "now" as well.
std::optional<double> ApplyOutlookSeed(OutlookEmulation& outlook, const QByteArray& json);

QByteArray OutlookStateJson(const OutlookEmulation& outlook);
