// The one entry point of the office back end's module (podiant-impress.so):
// a table of the UNO operations of platform/office.h, which the loader looks
// up with dlsym. Both sides are built together; the version guards against a
// module left over from another build.
#pragma once

#include <cstdint>
#include <string>

#include "platform/office.h"

constexpr uint32_t kOfficeModuleVersion = 3;
constexpr const char* kOfficeModuleFile = "podiant-impress.so";
constexpr const char* kOfficeModuleEntry = "PodiantOfficeModule";

// Texts are UTF-8 (the file URL, the pipe name, the slide's texts); no exception
// leaves the module.
struct OfficeModuleTable {
  uint32_t version;
  bool (*bootstrap)();
  bool (*connect)(const char* pipeName, uint32_t callBoundMilliseconds);
  bool (*answers)();
  bool (*carries)(const char* mark);
  void (*disconnect)();
  bool (*terminate)();
  OfficePresentation (*load)(const char* fileUrl);
  bool (*startShow)(OfficePresentation presentation, uint32_t boundMilliseconds);
  void (*advance)(OfficePresentation presentation);
  void (*gotoSlide)(OfficePresentation presentation, int32_t slideIndex);
  void (*step)(OfficePresentation presentation, OfficeShowStep step);
  void (*read)(OfficePresentation presentation, OfficeShowReading* reading,
               OfficeSlideDetails* details);
  OfficeSlideExport (*exportSlide)(OfficePresentation presentation, int32_t slideIndex,
                                   int32_t pixelWidth, std::string* png);
  void (*close)(OfficePresentation presentation);
  void (*release)(OfficePresentation presentation);
};

using OfficeModuleEntry = const OfficeModuleTable* (*)();

// The variable of the started office's environment that holds its mark, and
// the mark of a process that StartOfficeProcess started ("" for another).
constexpr const char* kOfficeMarkVariable = "PODIANT_OFFICE_MARK";
std::string OfficeProcessMark(int32_t processId);
