// Start-up of the database classes.
#pragma once

// Registers "Database", "DatabaseCursor", "RecordSet", "DatabaseCursorField",
// "DatabaseField" and "DatabaseRecord", the plug-in entry points
// (PluginRegisterDBEngine, PluginRegisterDBCursor, TOVAdbDatabaseFromDBDatabase,
// TOVAdbCursorFromDBCursor, TOVADatabaseSetError, getDatabaseProperty,
// RuntimeGetDatabaseFromResource) and the resource database factory. A second
// call changes nothing.
void RegisterDatabaseClasses();
