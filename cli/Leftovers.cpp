#include "cli/Leftovers.h"

#include "cli/FileList.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "platform/TemporaryLocks.h"

#include <map>
#include <utility>

namespace {

std::string Files(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " temporary file" : " temporary files");
}

} // namespace

std::string LeftoversNotice(std::size_t count) {
    return Files(count) + " of an interrupted run found; --remove-leftovers deletes them";
}

LeftoversRemoved RemoveLeftovers(const std::vector<ListEntry>& leftovers) {
    // One pass per folder: (walked folder, folder below it) -> names.
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> folders;
    for (const ListEntry& e : leftovers) {
        const std::string rel =
            e.rel.find('/') == std::string::npos ? std::string() : FolderOf(e.rel);
        folders[{StartDirectory(e.origin), rel}].push_back(NameOf(e.rel));
    }
    LeftoversRemoved result;
    for (const auto& [where, names] : folders) {
        StaleTemporaries stale;
        RemoveStaleTemporaries(where.first, where.second, names, stale);
        result.removed += stale.removed;
        result.kept += stale.inUse + stale.notOurs;
        const std::string folder = JoinPath(where.first, where.second);
        for (const auto& [name, err] : stale.failures) {
            if (name.empty())
                result.errors.push_back("cannot delete the temporary files in \"" + folder +
                                        "\": " + SystemErrorText(err));
            else
                result.errors.push_back("cannot delete \"" + JoinPath(folder, name) +
                                        "\": " + SystemErrorText(err));
        }
    }
    return result;
}

std::vector<std::string> LeftoversRemovedNotices(const LeftoversRemoved& result) {
    std::vector<std::string> notices = result.errors;
    if (result.kept > 0)
        notices.push_back("kept " + Files(result.kept) +
                          ": a run still under way is writing there, or they are not this "
                          "account's files");
    notices.push_back("deleted " + Files(result.removed) + " of an interrupted run");
    return notices;
}
