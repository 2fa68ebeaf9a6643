#pragma once

// The four exports of a scene list, built in a running office: a Calc
// sheet (".ods", ".xls") or a Writer document (".odt", ".doc") laid out
// with the objects and properties of the program's office exports, stored
// with the job's filter under a temporary name beside the output, checked
// and renamed into place.
#include "exportjob.h"

#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <string>

namespace vidora::office {

// The temporary file being written, for a watchdog to remove; empty when none.
std::string PendingOutput();
// The lock file the office keeps beside a document it writes at `path`.
std::string OfficeLockFileOf(const std::string &path);

// Throws std::runtime_error or a UNO exception on failure; the output then
// stays as it was.
void ExportScenes(const css::uno::Reference<css::uno::XComponentContext> &context,
                  const ExportJob &job);

} // namespace vidora::office
