// The registry of open databases and result sets: everything still open when
// the process ends is closed by it, every set before any database.
//
// The registry is a shutdown hook named "dbShutdownContext", made on first
// use, with two lists of {next, object}, newest first. Nodes do not hold a
// reference: an object leaves its list when it is closed (which its
// destruction does). The walk at exit holds each object while it closes it
// and copes with closes that close or destroy others.
#pragma once
#include <vector>

#include "core/SmartRef.h"

class DBShutdownContext;

// The one registry, made when first asked for; a new one after the previous
// ran at exit.
DBShutdownContext* GetDBShutdownContext();
void DBShutdownContextAddDatabase(DBShutdownContext* context, RuntimeObject* database);
void DBShutdownContextAddCursor(DBShutdownContext* context, RuntimeObject* cursor);
// Searches every registry and frees the first node holding the object.
void DBShutdownContextRemoveDatabase(RuntimeObject* database);
void DBShutdownContextRemoveCursor(RuntimeObject* cursor);
// Whether any registry lists the object.
bool DBShutdownContextHolds(const RuntimeObject* object);
// The open sets, each held, newest first.
std::vector<ObjectRef> DBOpenCursors();
