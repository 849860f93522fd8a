// Every name that compiled code and plug-ins link against outside the class
// tables, looked up in the entry-point table after start-up, and the drawing
// layer's entries called through it.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/RuntimeObjectFoundation.h"
#include "host/relocentry.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

const char* const kEntryNames[] = {
    // Host.
    "RuntimeInit", "RuntimeRegisterAppObject", "RuntimeRun", "RuntimeBackgroundTask",
    "WakeMainLoop", "LogErrorMessage", "TOVALockString", "TOVAUnlockString", "ApplicationQuit",
    // Graphics, printing and media.
    "newPicture", "RuntimeGraphicsDrawObject", "EnableCoreGraphicsTextOnOSX",
    "PictureClearCache", "TOVAPictureClearCache", "exportPicture", "RuntimeOpenPrinterDialog",
    "RuntimeOpenPrinter", "getMoviePlayerController", "openURLMovie",
    "RuntimeGetMovieFromResource",
    // Controls.
    "editSetString",
    // Files.
    "RuntimeGetFolderItem", "RuntimeGetTrueFolderItem", "TOVApathFromFolderItem",
    "FolderItemFromPath", "FolderItemCopyAbsolutePath", "FolderItemImportPicture",
    "FolderItemGetRelative", "getVolumeCount", "getVolume", "getAppleMenuFolder",
    "getControlPanelsFolder", "getDesktopFolder", "getStartupItemsFolder", "getFontsFolder",
    "GetDocumentsFolder", "getPreferencesFolder", "getApplicationSupportFolder",
    "getSystemFolder", "getExtensionsFolder", "getShutdownItemsFolder", "getTrashFolder",
    "getTemporaryItemsFolder", "getTemporaryFolderItem", "GetHighlightRGBColor",
    "RuntimeGetOpenFolderItem", "RuntimeGetSaveFolderItem", "RuntimeSelectFolder",
    "RuntimeRegisterFileType", "RuntimeShowURL", "GlobalShowURL",
    // Database.
    "PluginRegisterDBEngine", "PluginRegisterDBCursor", "TOVAdbDatabaseFromDBDatabase",
    "TOVAdbCursorFromDBCursor", "TOVADatabaseSetError", "getDatabaseProperty",
    "RuntimeGetDatabaseFromResource", "TOVADBConnectionDialogCreate",
    "TOVADBConnectionDialogAddField", "TOVADBConnectionDialogShow",
    "TOVADBConnectionDialogDelete", "newTOVADatabase", "openTOVADatabase",
    // System services and communications.
    "getSystemObject", "RuntimeGetDefaultApplicationRegistryItem", "socketClose", "socketPoll",
    "socketLocalAddressGetter", "socketLastErrorCode", "socketRemoteAddressGetter",
    "SocketWrite", "socketDirectConnect", "socketGetEvents", "pluginSocketListen",
    "pluginSocketRead", "pluginSocketReadAll", "pluginSocketLookahead",
    "getNamedObjectDescriptor", "getUniqueIDObjectDescriptor", "getOrdinalObjectDescriptor",
    "getIndexedObjectDescriptor", "getPropertyObjectDescriptor",
    "getStringComparisonObjectDescriptor", "getRangeObjectDescriptor",
    "getTestObjectDescriptor",
};

class EntryPointsTest : public HostTest {};

TEST_F(EntryPointsTest, EveryNameCompiledCodeLinksAgainstIsInTheTable) {
  for (const char* name : kEntryNames) EXPECT_NE(LookupEntryPoint(name), nullptr) << name;
}

TEST_F(EntryPointsTest, ThePictureEntriesWorkThroughTheTable) {
  using NewPicture = RuntimeObject* (*)(int32_t, int32_t, int32_t);
  using ClearCache = void (*)(void*);
  auto newPicture = reinterpret_cast<NewPicture>(LookupEntryPoint("newPicture"));
  ASSERT_NE(newPicture, nullptr);
  RuntimeObject* picture = newPicture(8, 6, 32);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->refCount, 1);
  auto clearCache = reinterpret_cast<ClearCache>(LookupEntryPoint("TOVAPictureClearCache"));
  ASSERT_NE(clearCache, nullptr);
  clearCache(picture);
  clearCache(nullptr);
  EXPECT_EQ(picture->refCount, 1);
  RuntimeUnlockObject(picture);
}

}  // namespace
