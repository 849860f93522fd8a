// The subsystems' start-up steps, named in one place. A new subsystem adds
// its call at its step; the calls also fill the host's hook slots.
#include "runtime/RuntimeSetup.h"

#include "controls/ControlClasses.h"
#include "database/api/DatabaseClasses.h"
#include "database/api/DatabaseHooks.h"
#include "database/datacontrol/DataControl.h"
#include "database/engine/BuiltInDatabase.h"
#include "database/results/QueryResults.h"
#include "database/sql/SQLFrontEnd.h"
#include "files/FileStreams.h"
#include "files/FileTypes.h"
#include "files/FolderItemDialog.h"
#include "files/FolderItemImpVirtual.h"
#include "files/SpecialFolders.h"
#include "files/TypedContents.h"
#include "files/runFolderItem.h"
#include "graphics/GraphicsClass.h"
#include "graphics/GraphicsEntryPoints.h"
#include "graphics/GraphicsPort.h"
#include "graphics/PictureClass.h"
#include "graphics/PrinterSetupClass.h"
#include "graphics/Shapes2D.h"
#include "host/RuntimeMain.h"
#include "runtime/MediaSetup.h"
#include "system/AppleEvents.h"
#include "system/OLEObject.h"
#include "system/RegistryAccessors.h"
#include "system/RunSystem.h"
#include "system/RuntimeSocketAccessors.h"
#include "system/SocketClasses.h"
#include "system/runSerial.h"
#include "ui/Binding.h"
#include "ui/Clipboard.h"
#include "ui/DragItem.h"
#include "ui/FontCache.h"
#include "ui/Menu.h"
#include "ui/WindowSystem.h"

namespace {

void CreateLocks() { InitFileStreamLock(); }

void RegisterWindowClasses(HINSTANCE instance) {
  StartWindowSystem(instance);
  InstallGraphicsPortHooks();
  StartMenus();
}

void RegisterClasses() {
  InitObject2DClasses();
  RegisterGraphicsClass();
  RegisterPictureClasses();
  RegisterGraphicsEntryPoints();
  RegisterPrinterSetupClass();
  RegisterWindowSystemClasses();
  RegisterBindingInterfaces();
  RegisterBuiltInControlClasses();
  RegisterMenuClasses();
  RegisterClipboardClass();
  RegisterDragItemClass();
  RegisterFileStreamClasses();
  InstallStreamWriteOutHooks();
  RegisterFileTypeEntryPoints();
  RegisterFolderItemClass();
  RegisterVirtualVolumeClass();
  RegisterSpecialFolderFunctions();
  RegisterFolderItemDialogClasses();
  RegisterRegistryItemClass();
  RegisterOLEObjectClass();
  RegisterSerialClasses();
  RegisterSystemClasses();
  RegisterSocketClasses();
  RegisterAppleEventClasses();
  RegisterDatabaseClasses();
  RegisterBuiltInDatabase();
  SetJPEGCodec({EncodeJPEGThroughFile, DecodeJPEGThroughFile});
  RegisterSQLFrontEnd();
  RegisterQueryResults();
  RegisterDataControlClasses();
  RegisterMediaClasses();
  TypeFileMembersOfLaterClasses();
}

SubsystemSetup MakeSetup() {
  SubsystemSetup setup;
  setup.createLocks = CreateLocks;
  setup.registerWindowClasses = RegisterWindowClasses;
  setup.fillSystemColors = InitSystemColors;
  setup.registerClasses = RegisterClasses;
  setup.setDefaultFont = InitDefaultFont;
  setup.startCommunications = StartSocketLayer;
  return setup;
}

}  // namespace

const SubsystemSetup& RuntimeSubsystemSetup() {
  static const SubsystemSetup setup = MakeSetup();
  return setup;
}

void InstallRuntimeSubsystems() { InstallSubsystemSetup(&RuntimeSubsystemSetup()); }
