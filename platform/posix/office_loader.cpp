// The UNO operations of platform/office.h, forwarded to the office back end's
// module, which is loaded on their first use. The module is looked for at its
// place relative to the program (with the installed program's libraries, or
// in the build tree); its own run path leads to LibreOffice's UNO runtime.
// When either is missing, every operation fails and the first OPEN shows the
// notice.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "platform/office.h"
#include "platform/posix/office_module.h"

#ifndef PODIANT_OFFICE_MODULE_FROM_PROGRAM
#error "PODIANT_OFFICE_MODULE_FROM_PROGRAM names the module's directory relative to the program's"
#endif

namespace {

// By its full name: a name alone would be looked for along the run path of
// the caller, which a sanitizer's dlopen hook is instead of the program.
std::string ModulePath() {
  char program[4096];
  ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length <= 0) return kOfficeModuleFile;
  std::string directory(program, static_cast<size_t>(length));
  directory.erase(directory.rfind('/') + 1);
  return directory + PODIANT_OFFICE_MODULE_FROM_PROGRAM + "/" + kOfficeModuleFile;
}

const OfficeModuleTable* serverThreadModule = nullptr;
bool serverThreadLoadTried = false;
bool serverThreadAvailable = false;

bool Loaded() { return serverThreadModule != nullptr && serverThreadAvailable; }

}  // namespace

bool OfficeBackEndAvailable() {
  if (!serverThreadLoadTried) {
    serverThreadLoadTried = true;
    // Never unloaded: the UNO runtime keeps threads and objects of its own.
    void* handle = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = handle != nullptr ? dlsym(handle, kOfficeModuleEntry) : nullptr;
    if (entry != nullptr) {
      const OfficeModuleTable* table = reinterpret_cast<OfficeModuleEntry>(entry)();
      if (table != nullptr && table->version == kOfficeModuleVersion) serverThreadModule = table;
    }
    serverThreadAvailable = serverThreadModule != nullptr && serverThreadModule->bootstrap();
  }
  return serverThreadAvailable;
}

bool ConnectOffice(const std::string& pipeName, uint32_t callBoundMilliseconds) {
  return Loaded() && serverThreadModule->connect(pipeName.c_str(), callBoundMilliseconds);
}

bool OfficeAnswers() { return Loaded() && serverThreadModule->answers(); }

bool ConnectedOfficeIs(int32_t processId) {
  std::string mark = OfficeProcessMark(processId);
  return Loaded() && !mark.empty() && serverThreadModule->carries(mark.c_str());
}

void DisconnectOffice() {
  if (Loaded()) serverThreadModule->disconnect();
}

bool TerminateOffice() { return Loaded() && serverThreadModule->terminate(); }

OfficePresentation LoadOfficePresentation(const std::string& fileUrl) {
  return Loaded() ? serverThreadModule->load(fileUrl.c_str()) : nullptr;
}

bool StartOfficeShow(OfficePresentation presentation, uint32_t boundMilliseconds) {
  return Loaded() && presentation != nullptr &&
         serverThreadModule->startShow(presentation, boundMilliseconds);
}

void AdvanceOfficeShow(OfficePresentation presentation) {
  if (Loaded() && presentation != nullptr) serverThreadModule->advance(presentation);
}

void GotoOfficeShowSlide(OfficePresentation presentation, int32_t slideIndex) {
  if (Loaded() && presentation != nullptr) serverThreadModule->gotoSlide(presentation, slideIndex);
}

void StepOfficeShow(OfficePresentation presentation, OfficeShowStep step) {
  if (Loaded() && presentation != nullptr) serverThreadModule->step(presentation, step);
}

OfficeShowReading ReadOfficeShow(OfficePresentation presentation, OfficeSlideDetails* details) {
  OfficeShowReading reading;
  if (Loaded() && presentation != nullptr)
    serverThreadModule->read(presentation, &reading, details);
  return reading;
}

OfficeSlideExport ExportOfficeSlide(OfficePresentation presentation, int32_t slideIndex,
                                    int32_t pixelWidth, std::string* png) {
  if (!Loaded() || presentation == nullptr) return OfficeSlideExport::kGone;
  return serverThreadModule->exportSlide(presentation, slideIndex, pixelWidth, png);
}

void CloseOfficePresentation(OfficePresentation presentation) {
  if (Loaded() && presentation != nullptr) serverThreadModule->close(presentation);
}

void ReleaseOfficePresentation(OfficePresentation presentation) {
  if (Loaded() && presentation != nullptr) serverThreadModule->release(presentation);
}
