// Natively there is no host to start: the fixture base of the tests that the
// native build shares with the Windows one is the box-recording base alone,
// which is the part of HostTest those tests rely on.
#pragma once
#include "testsupport/BoxRecordingTest.h"

class HostTest : public BoxRecordingTest {};
