#include "notestore/foundation/Messages.h"

#include "platform/Strings.h"

// Every module has its own __dso_handle, so its address identifies this
// library (or the program the objects were linked into) as a module.
extern "C" void* __dso_handle;

namespace zr_gen {

namespace {

constexpr platform::StringTableEntry kMessages[] = {
    {1, u"notestore.DLL Initializing"},
    {2, u"The db structure is unknown"},
    {3, u"The db structure is different"},
    {4, u"The db version is newer than your application. Please update your application!"},
    {5, u"Missing new record identifier"},
    {6, u"Missing end record identifier"},
    {7, u"There was a problem opening or creating a file."},
    {8, u"File IO read error"},
    {9, u"File IO write error"},
    {10, u"File IO"},
    {11, u"Out of memory"},
    {12, u"The default header size is less than the Header object"},
    {13, u"The db check code is different. This is not a .zro file. Perhaps you renamed it from a .zro.pdb file? "
         u"That won't work. "},
    {14, u"The recorded header size is bigger than the default header size"},
    {15, u"Data corruption error"},
    {16, u"Data class not found error"},
    {17, u"Data buffer overflow error"},
    {18, u"Unknown data error"},
    {19, u"The ZR did not find any free category ID"},
    {20, u"The header size is changed, but the db version not"},
    {21, u"The max amount of categories is 16"},
    {22, u"The image is too big"},
    {23, u"Cannot load DIB"},
    {24, u"Can not save DIB"},
    {25, u"The memory outline database version is not correct. Please contact Corvane technical support!"},
};

HINSTANCE moduleHandle = nullptr;

// Stands in for the entry point's process attach: record the module handle
// and make the message table loadable.
__attribute__((constructor)) void OnProcessAttach() {
    moduleHandle = &__dso_handle;
    platform::RegisterStringTable(moduleHandle, kMessages);
}

}  // namespace

HINSTANCE ModuleHandle() { return moduleHandle; }

}  // namespace zr_gen
