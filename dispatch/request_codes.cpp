#include "dispatch/request_codes.h"

#include <array>

namespace {

// code, name, failure line, dumps record, may fragment, consumes fragments, needs login
constexpr RequestInfo kRequests[] = {
    {AS_STATUS, "AS_STATUS", nullptr, false, false, false, false},
    {AS_GET_CONTACT, "AS_GET_CONTACT", "AS_GET_CONTACT...error", true, true, false, true},
    {AS_SET_CONTACT, "AS_SET_CONTACT", "AS_SET_CONTACT...error", true, false, true, true},
    {AS_ADD_CONTACT, "AS_ADD_CONTACT", "AS_ADD_CONTACT..error", true, false, true, true},
    {AS_DEL_CONTACT, "AS_DEL_CONTACT", "AS_DEL_CONTACT...error", false, false, false, true},
    // A failure of this request names itself in the log like every other's.
    {AS_MACHINE_ID, "AS_MACHINE_ID", "AS_MACHINE_ID...error", false, false, false, false},
    {AS_CHECK_CONTACTS, "AS_CHECK_CONTACTS", "AS_CHECK_CONTACTS...error", false, true, false, true},
    {AS_DEL_ALL_CONTACTS, "AS_DEL_ALL_CONTACTS", "AS_DEL_ALL_CONTACTS...error", false, false, false, true},
    {AS_SAVE_CONTACTS_STATE, "AS_SAVE_CONTACTS_STATE", nullptr, false, false, false, true},
    {AS_RESET_STATE, "AS_RESET_STATE", nullptr, false, false, false, true},
    {AS_GET_APPOINT, "AS_GET_APPOINT", "AS_GET_APPOINT - error", true, true, false, true},
    {AS_SET_APPOINT, "AS_SET_APPOINT", "AS_SET_APPOINT...error\n", true, false, true, true},
    {AS_ADD_APPOINT, "AS_ADD_APPOINT", "AS_ADD_APPOINT...error", true, false, true, true},
    {AS_DEL_APPOINT, "AS_DEL_APPOINT", "AS_DEL_APPOINT - error", false, false, false, true},
    {AS_CHECK_APPOINTS, "AS_CHECK_APPOINTS", "AS_CHECK_APPOINTS...error", false, true, false, true},
    {AS_DEL_ALL_APPOINTS, "AS_DEL_ALL_APPOINTS", "AS_DEL_ALL_APPOINTS - error", false, false, false, true},
    {AS_SAVE_APPOINTS_STATE, "AS_SAVE_APPOINTS_STATE", nullptr, false, false, false, true},
    {AS_GET_TASK, "AS_GET_TASK", "AS_GET_TASK - error", false, true, false, true},
    {AS_SET_TASK, "AS_SET_TASK", "AS_SET_TASK...error\n", true, false, true, true},
    {AS_ADD_TASK, "AS_ADD_TASK", "AS_ADD_TASK...error", true, false, true, true},
    {AS_DEL_TASK, "AS_DEL_TASK", "AS_DEL_TASK - error", false, false, false, true},
    {AS_CHECK_TASKS, "AS_CHECK_TASKS", "AS_CHECK_TASKS...error", false, true, false, true},
    {AS_DEL_ALL_TASKS, "AS_DEL_ALL_TASKS", "AS_DEL_ALL_TASKS - error", false, false, false, true},
    {AS_SAVE_TASKS_STATE, "AS_SAVE_TASKS_STATE", nullptr, false, false, false, true},
    {AS_GET_FILE, "AS_GET_FILE", "AS_GET_FILE...error", false, true, false, true},
    {AS_SET_FILE, "AS_SET_FILE", "AS_SET_FILE - error", false, false, true, true},
    {AS_GET_DIR_LIST, "AS_GET_DIR_LIST", nullptr, false, true, false, true},
    {AS_GET_FILE_INFO, "AS_GET_FILE_INFO", nullptr, false, false, false, true},
    {AS_GET_FREE_SIZE, "AS_GET_FREE_SIZE", nullptr, false, false, false, true},
    {AS_CREATE_DIR, "AS_CREATE_DIR", nullptr, false, false, false, true},
    {AS_DELETE_FILE, "AS_DELETE_FILE", nullptr, false, false, false, true},
    {AS_GET_OWNER, "AS_GET_OWNER", nullptr, false, false, false, false},
    {AS_PUT_FRAGMENT_REQUEST, "AS_PUT_FRAGMENT", nullptr, false, false, false, true},
    {AS_DEL_DIR, "AS_DEL_DIR", nullptr, false, false, false, true},
    {AS_QUIT, "AS_QUIT", nullptr, false, false, false, true},
    {AS_LOGIN, "AS_LOGIN", nullptr, false, false, false, false},
    {AS_OPEN_FILE, "AS_OPEN_FILE", "AS_OPEN_FILE...error", false, false, false, true},
    {AS_LOAD_APPOINTS_STATE, "AS_LOAD_APPOINTS_STATE", nullptr, false, false, false, true},
    {AS_LOAD_CONTACTS_STATE, "AS_LOAD_CONTACTS_STATE", nullptr, false, false, false, true},
    {AS_LOAD_TASKS_STATE, "AS_LOAD_TASKS_STATE", nullptr, false, false, false, true},
    {AS_GET_REG_VALUE, "AS_GET_REG_VALUE", nullptr, false, false, false, true},
    {AS_DEL_CONTACT_STATE, "AS_DEL_CONTACT_STATE", nullptr, false, false, false, true},
    {AS_DEL_APPOINT_STATE, "AS_DEL_APPOINT_STATE", nullptr, false, false, false, true},
    {AS_DEL_TASK_STATE, "AS_DEL_TASK_STATE", nullptr, false, false, false, true},
    {AS_GET_CATEGORIES, "AS_GET_CATEGORIES", "AS_GET_CATEGORIES...error", false, true, false, true},
    {AS_GET_NOTE, "AS_GET_NOTE", "AS_GET_NOTE - error", true, true, false, true},
    {AS_SET_NOTE, "AS_SET_NOTE", "AS_SET_NOTE - error", true, false, true, true},
    {AS_ADD_NOTE, "AS_ADD_NOTE", "AS_ADD_NOTE - error", true, false, true, true},
    {AS_DEL_NOTE, "AS_DEL_NOTE", "AS_DEL_NOTE - error", false, false, false, true},
    {AS_CHECK_NOTES, "AS_CHECK_NOTES", "AS_CHECK_NOTES...error", false, true, false, true},
    {AS_DEL_ALL_NOTES, "AS_DEL_ALL_NOTES", "AS_DEL_ALL_NOTES - error", false, false, false, true},
    {AS_SAVE_NOTES_STATE, "AS_SAVE_NOTES_STATE", nullptr, false, false, false, true},
    {AS_DEL_NOTE_STATE, "AS_DEL_NOTE_STATE", nullptr, false, false, false, true},
    {AS_LOAD_NOTES_STATE, "AS_LOAD_NOTES_STATE", nullptr, false, false, false, true},
    {AS_RENAME_FILE, "AS_RENAME_FILE", nullptr, false, false, false, true},
    {AS_GET_AVAILABLE_SOURCES, "AS_GET_AVAILABLE_SOURCES", nullptr, false, false, false, true},
    {AS_SET_SOURCES, "AS_SET_SOURCES", nullptr, false, false, false, true},
    {AS_SET_FILE_TIME, "AS_SET_FILE_TIME", "AS_SET_FILE_TIME...error", false, false, false, true},
    {AS_GET_DRIVES, "AS_GET_DRIVES", nullptr, false, false, false, true},
    {AS_ADDFILEWATCH, "AS_ADDFILEWATCH", "AS_ADDFILEWATCH...error", false, false, false, true},
    {AS_START_SYNC, "AS_START_SYNC", "AS_START_SYNC...error", false, false, false, true},
    {AS_END_SYNC, "AS_END_SYNC", "AS_END_SYNC...error", false, false, false, true},
    {AS_GET_SOURCES, "AS_GET_SOURCES", nullptr, false, false, false, true},
    {AS_GET_BOOKMARK, "AS_GET_BOOKMARK", "AS_GET_BOOKMARK...error", false, false, false, true},
    {AS_SET_BOOKMARK, "AS_SET_BOOKMARK", "AS_SET_BOOKMARK...error", false, false, false, true},
    {AS_ADD_BOOKMARK, "AS_ADD_BOOKMARK", "AS_ADD_BOOKMARK...error", false, false, false, true},
    {AS_DEL_BOOKMARK, "AS_DEL_BOOKMARK", "AS_DEL_BOOKMARK...error", false, false, false, true},
    {AS_CHECK_BOOKMARKS, "AS_CHECK_BOOKMARKS", "AS_CHECK_BOOKMARKS...error", false, true, false, true},
    {AS_DEL_ALL_BOOKMARKS, "AS_DEL_ALL_BOOKMARKS", "AS_DEL_ALL_BOOKMARKS...error", false, false, false, true},
    {AS_SAVE_BOOKMARKS_STATE, "AS_SAVE_BOOKMARKS_STATE", nullptr, false, false, false, true},
    {AS_DEL_BOOKMARK_STATE, "AS_DEL_BOOKMARK_STATE", nullptr, false, false, false, true},
    {AS_LOAD_BOOKMARKS_STATE, "AS_LOAD_BOOKMARKS_STATE", nullptr, false, false, false, true},
    {AS_DELFILEWATCH, "AS_DELFILEWATCH", "AS_DELFILEWATCH...error", false, false, false, true},
    {AS_GETFILECHANGES, "AS_GETFILECHANGES", "AS_GETFILECHANGES...error", false, true, false, true},
    {AS_SYNCPREPARE, "AS_SYNCPREPARE", "AS_SYNCPREPARE...error", false, false, false, true},
    {AS_DELALLFILEWATCHES, "AS_DELALLFILEWATCHES", "AS_DELALLFILEWATCHES...error", false, false, false, true},
    {AS_DEL_DIR_TRASH, "AS_DEL_DIR_TRASH", nullptr, false, false, false, true},
    {AS_DEL_FILE_TRASH, "AS_DEL_FILE_TRASH", nullptr, false, false, false, true},
    {AS_GET_SAFARI_PATH, "AS_GET_SAFARI_PATH", "AS_GET_SAFARI_PATH...error", false, false, false, true},
    {AS_GET_FILE_INFO_EX, "AS_GET_FILE_INFO_EX", nullptr, false, false, false, true},
    {AS_CLOSE_FILES, "AS_CLOSE_FILES", nullptr, false, false, false, true},
    // The playlist names can outgrow one message like the media lists; they travel in pieces too.
    {AS_GET_PLAYLISTS, "AS_GET_PLAYLISTS", nullptr, false, true, false, true},
    {AS_GET_MEDIA_LIST, "AS_GET_MEDIA_LIST", nullptr, false, true, false, true},
    {AS_GET_PLAYLIST_ITEMS, "AS_GET_PLAYLIST_ITEMS", nullptr, false, true, false, true},
    {AS_ADD_PLAYLISTS, "AS_ADD_PLAYLISTS", nullptr, false, false, false, true},
    {AS_DEL_PLAYLISTS, "AS_DEL_PLAYLISTS", nullptr, false, false, false, true},
    {AS_RENAME_PLAYLIST, "AS_RENAME_PLAYLIST", nullptr, false, false, false, true},
    {AS_ADD_PLAYLIST_ITEM, "AS_ADD_PLAYLIST_ITEM", nullptr, false, false, false, true},
    {AS_DEL_PLAYLIST_ITEM, "AS_DEL_PLAYLIST_ITEM", nullptr, false, false, false, true},
    {AS_DEL_MEDIA, "AS_DEL_MEDIA", nullptr, false, false, false, true},
    {AS_GET_MUSIC_DIR, "AS_GET_MUSIC_DIR", nullptr, false, false, false, true},
};

constexpr auto MakeIndex()
{
    std::array<std::int16_t, kHighestRequestCode + 1> index{};
    for (auto& i : index)
        i = -1;
    for (std::size_t i = 0; i < std::size(kRequests); ++i)
        index[kRequests[i].code] = static_cast<std::int16_t>(i);
    return index;
}

constexpr auto kIndex = MakeIndex();
static_assert(std::size(kRequests) == 91, "the protocol serves 91 request codes");

}  // namespace

const RequestInfo* FindRequest(std::uint16_t code)
{
    if (code > kHighestRequestCode || kIndex[code] < 0)
        return nullptr;
    return &kRequests[kIndex[code]];
}

int ServedRequestCount()
{
    return static_cast<int>(std::size(kRequests));
}
