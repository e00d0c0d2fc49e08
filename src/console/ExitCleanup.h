#pragma once

#include <QString>

namespace ExitCleanup {

// Deletes the leftover "*.sm" files of the drop folder SMSQ under the program
// folder home when the engine exits. Folder and file names are matched
// without regard to letter case (SMSQ or smsq; A.SM, b.Sm); only ordinary,
// non-hidden files are touched, so the drop files "*.sms" waiting for import
// stay. A missing folder or a file that cannot be deleted is passed over.
// Returns how many files were deleted.
int deleteQueueLeftovers(const QString& home);

} // namespace ExitCleanup
