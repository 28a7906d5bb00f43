#pragma once
// Writing files so that each is either wholly old or wholly new, never half written,
// and keeps what the user set on it (permission bits, owner, group, extended
// attributes and so ACLs, its hard links, the symbolic link that leads to it).
//
// The new content goes into a temporary file beside the target (".<name>.vx-XXXXXXXXXXXX.tmp",
// see platform/TempNames.h; walks never list such names) and takes the target's
// place once it is durable; the commit checks that the name still holds exactly
// the file this process wrote. A file with several hard links, one in a folder
// where no file can be created (or an append-only one), or one whose owner or
// attributes a new file could not be given, is written in place instead, after
// its new size has been made sure of on the disk, so that a full disk fails
// before any byte changes. Its new bytes wait, and its old bytes are kept to be
// put back after a failure, in a temporary beside it that only this account can
// read (in memory, up to InPlaceMemoryBytes, where the folder takes none). A file
// whose set-user-ID or set-group-ID bit or capabilities a write in place would
// take away for good, and one with several names on an overlay file system (a
// write would copy it up under one name only), is refused before any byte changes.
//
// Every failure throws WriteError; the target is untouched then.
//
// The parts, one job each: the error type (platform/WriteError.h), descriptor
// I/O (platform/DescriptorIO.h), the temporaries (platform/Temporaries.h), the
// pending write and its two ways (platform/PendingWrite.h, platform/WriteState.h),
// prepare (platform/PrepareWrite.h), commit (platform/CommitWrite.h) and the batch
// (platform/WriteBatch.h).

#include "platform/CommitWrite.h"
#include "platform/PendingWrite.h"
#include "platform/PrepareWrite.h"
#include "platform/WriteBatch.h"
#include "platform/WriteError.h"
#include "platform/WriteTarget.h"
