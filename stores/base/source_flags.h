#pragma once
#include <cstdint>

// The 32-bit word of the source requests: one bit per data source and browser. Which code each
// bit stands for depends on the request (available, chosen, current); the source catalogue
// (stores/catalog/source_catalog.h) ties each bit to its source.
namespace SourceFlags {
inline constexpr std::uint32_t kWindowsXpAddressBook = 1u << 0;  // Windows 5.x; AgentCode 0
inline constexpr std::uint32_t kWindowsVistaContacts = 1u << 1;  // Windows 6.0; AgentCode 1
inline constexpr std::uint32_t kOutlook8 = 1u << 2;              // AgentCode 8
inline constexpr std::uint32_t kOutlook9 = 1u << 3;              // AgentCode 9
inline constexpr std::uint32_t kOutlook11 = 1u << 4;             // AgentCode 11
inline constexpr std::uint32_t kOutlook12 = 1u << 5;             // AgentCode 12
inline constexpr std::uint32_t kOutlook14 = 1u << 6;             // AgentCode 14
inline constexpr std::uint32_t kInternetExplorer = 1u << 7;      // BrowserKind 0
inline constexpr std::uint32_t kOpera = 1u << 8;                 // BrowserKind 2
inline constexpr std::uint32_t kFirefox = 1u << 9;               // BrowserKind 1
inline constexpr std::uint32_t kChrome = 1u << 10;               // BrowserKind 3
inline constexpr std::uint32_t kSafari = 1u << 11;               // BrowserKind 4
inline constexpr std::uint32_t kWindows7Contacts = 1u << 12;     // Windows 6.1; AgentCode 2
inline constexpr std::uint32_t kOperaContacts = 1u << 13;        // AgentCode 7
inline constexpr std::uint32_t kOperaNotes = 1u << 14;           // NotesAgentCode 0x4000
inline constexpr std::uint32_t kExchange = 1u << 15;             // Outlook on an Exchange server
inline constexpr std::uint32_t kStickyNotes = 1u << 16;          // NotesAgentCode 0x10000
inline constexpr std::uint32_t kOutlookNotes = 1u << 17;         // NotesAgentCode 4..64
inline constexpr std::uint32_t kWindowsMediaPlayer = 1u << 18;   // only named by AS_SYNCPREPARE
}  // namespace SourceFlags
