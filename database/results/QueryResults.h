// Start-up of the query results: registers "ScrollableCursor" and
// "DatabaseQuery", the entry points TOVADBConnectionDialogCreate, AddField,
// Show and Delete, and fills the SQL front-end's sort and grouping builder
// slots. A second call changes nothing.
#pragma once

void RegisterQueryResults();
