#pragma once
#include <QString>
#include <cstdint>

// The served request codes. Every success reply carries the code plus one.
enum RequestCode : std::uint16_t {
    AS_STATUS = 0,
    AS_GET_CONTACT = 6, AS_SET_CONTACT = 8, AS_ADD_CONTACT = 10, AS_DEL_CONTACT = 12,
    AS_MACHINE_ID = 14,
    AS_CHECK_CONTACTS = 20, AS_DEL_ALL_CONTACTS = 22, AS_SAVE_CONTACTS_STATE = 24, AS_RESET_STATE = 26,
    AS_GET_APPOINT = 28, AS_SET_APPOINT = 30, AS_ADD_APPOINT = 32, AS_DEL_APPOINT = 34,
    AS_CHECK_APPOINTS = 36, AS_DEL_ALL_APPOINTS = 38, AS_SAVE_APPOINTS_STATE = 40,
    AS_GET_TASK = 42, AS_SET_TASK = 44, AS_ADD_TASK = 46, AS_DEL_TASK = 48, AS_CHECK_TASKS = 50,
    AS_DEL_ALL_TASKS = 52, AS_SAVE_TASKS_STATE = 54,
    AS_GET_FILE = 56, AS_SET_FILE = 58, AS_GET_DIR_LIST = 60, AS_GET_FILE_INFO = 66, AS_GET_FREE_SIZE = 68,
    AS_CREATE_DIR = 70, AS_DELETE_FILE = 72,
    AS_GET_OWNER = 90, AS_PUT_FRAGMENT_REQUEST = 92,
    AS_DEL_DIR = 102, AS_QUIT = 104, AS_LOGIN = 106, AS_OPEN_FILE = 108,
    AS_LOAD_APPOINTS_STATE = 128, AS_LOAD_CONTACTS_STATE = 130, AS_LOAD_TASKS_STATE = 138,
    AS_GET_REG_VALUE = 156,
    AS_DEL_CONTACT_STATE = 160, AS_DEL_APPOINT_STATE = 162, AS_DEL_TASK_STATE = 164,
    AS_GET_CATEGORIES = 184,
    AS_GET_NOTE = 194, AS_SET_NOTE = 196, AS_ADD_NOTE = 198, AS_DEL_NOTE = 200, AS_CHECK_NOTES = 202,
    AS_DEL_ALL_NOTES = 204, AS_SAVE_NOTES_STATE = 206, AS_DEL_NOTE_STATE = 208, AS_LOAD_NOTES_STATE = 210,
    AS_RENAME_FILE = 212,
    AS_GET_AVAILABLE_SOURCES = 218, AS_SET_SOURCES = 220, AS_SET_FILE_TIME = 222, AS_GET_DRIVES = 224,
    AS_ADDFILEWATCH = 226, AS_START_SYNC = 228, AS_END_SYNC = 230, AS_GET_SOURCES = 232,
    AS_GET_BOOKMARK = 234, AS_SET_BOOKMARK = 236, AS_ADD_BOOKMARK = 238, AS_DEL_BOOKMARK = 240,
    AS_CHECK_BOOKMARKS = 242, AS_DEL_ALL_BOOKMARKS = 244, AS_SAVE_BOOKMARKS_STATE = 246,
    AS_DEL_BOOKMARK_STATE = 248, AS_LOAD_BOOKMARKS_STATE = 250,
    AS_DELFILEWATCH = 256, AS_GETFILECHANGES = 258, AS_SYNCPREPARE = 260, AS_DELALLFILEWATCHES = 262,
    AS_DEL_DIR_TRASH = 264, AS_DEL_FILE_TRASH = 266, AS_GET_SAFARI_PATH = 268,
    AS_GET_FILE_INFO_EX = 274, AS_CLOSE_FILES = 278,
    AS_GET_PLAYLISTS = 280, AS_GET_MEDIA_LIST = 282, AS_GET_PLAYLIST_ITEMS = 284, AS_ADD_PLAYLISTS = 286,
    AS_DEL_PLAYLISTS = 288, AS_RENAME_PLAYLIST = 290, AS_ADD_PLAYLIST_ITEM = 292, AS_DEL_PLAYLIST_ITEM = 294,
    AS_DEL_MEDIA = 298, AS_GET_MUSIC_DIR = 300,
};

inline constexpr std::uint16_t kHighestRequestCode = 300;

// What the dispatcher knows of each served request, independent of its handler.
struct RequestInfo {
    std::uint16_t code;
    const char* name;
    // A failure escaping the handler is answered AS_ERROR; this line (or "<name>...error") is
    // logged first, with the request's item record when `dumpsRecord`.
    const char* failureLine;
    bool dumpsRecord;            // the catch-all writes the request's item record to the log
    bool mayFragment;            // the reply may exceed one message and travel as AS_FRAGMENT pieces
    bool consumesFragments;      // the payload is preceded by the accumulated AS_PUT_FRAGMENT pieces
    bool needsLogin;             // refused before AS_LOGIN when a password is stored
};

// The entry of a served code, or nullptr for a code that is not served.
const RequestInfo* FindRequest(std::uint16_t code);
// Number of served codes.
int ServedRequestCount();
