#pragma once
// The boundary of every event handler: a failure inside ends the handler, is
// reported once through the reporter, and the program goes on.
#include <exception>
#include <new>
#include "core/source_location.h"

#include "core/error_sink.h"
#include "core/failure.h"
#include "core/statements.h"

namespace qv {

template <class Body>
void runHandler(ErrorSink& reporter, Body&& body,
                SourceLocation where = SourceLocation::current()) {
    try {
        body();
    } catch (const Failure& failure) {
        Statement at = statementAt(failure.where().file_name(), failure.where().line());
        // A failure site the table does not know is blamed on the handler, so it
        // is still shown rather than hidden as "no statement".
        if (at.number == 0) at = statementAt(where.file_name(), where.line());
        reporter.ReportError(failure.number(), failure.description(), at.number);
    } catch (const std::bad_alloc&) {
        reporter.ReportError(7, "Out of memory", statementAt(where.file_name(), where.line()).number);
    } catch (const std::exception& e) {
        reporter.ReportError(5, e.what(), statementAt(where.file_name(), where.line()).number);
    }
}

}  // namespace qv
