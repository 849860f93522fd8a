// Dial-up (PPP) connections through the Remote Access libraries, behind the
// PPPConnect, PPPDisconnect and PPPStatus members of System and TCPSocket.
//
// Each operation loads "RasApi32.dll" (and "RasDlg.dll" for the phonebook
// dialog) for its own duration; a missing library or function ends it
// quietly. One process-wide status (0 not connected, 4 dialling, 5
// connected) and the handle of the connection this program dialled or found
// are kept. A dial runs asynchronously: its notifier runs on a Remote Access
// thread and only stores into the status, the handle and a failure mark; the
// next entry on the main thread hangs a failed dial up. A dial that starts
// keeps the library loaded for the rest of the process, since its notifier
// lives there.
//
// Remote Access errors go to the error reporter, on the main thread only.
#pragma once
#include <cstdint>
#include <string>

struct RuntimeObject;

// Receives the text of a Remote Access error (UTF-8): the library's own text,
// or "RAS error N" when it has none. The default shows a "RAS Error" box
// (no owner, OK only) through the run-time's recordable boxes.
using RasErrorReporter = void (*)(const std::string& text);
// Installs a reporter (nil puts the default back); gives the previous one.
RasErrorReporter SetRasErrorReporter(RasErrorReporter reporter);

extern "C" {
// Dials: nothing when the held connection is up (status 5). Otherwise, with
// userInteraction and the phonebook dialog present, runs the dialog and takes
// the first connection then up; else dials the first phonebook entry with its
// saved parameters (status 4 until the notifier reports). The object is the
// System or TCPSocket object and is not used.
void socketPPPConnect(RuntimeObject* object, uint8_t userInteraction);
// Hangs up every connection up now, and the held one; status 0. Gives the
// number of connections found.
int32_t socketPPPDisconnect(RuntimeObject* object);
// The status; 0 becomes 5 when some connection is up, whoever dialled it.
int32_t socketPPPStatus(RuntimeObject* object);
}
