// Pictures of the slides of the open presentation, for the web remote: asked
// for from any thread, exported by the application on the server thread (the
// only one that talks to it), one at a time and only between commands, and
// kept in memory, bounded; the kept pictures are never written anywhere.
//
// The export itself goes through memory where the application allows it:
// LibreOffice Impress's graphic export writes the PNG into a stream of this
// program, which makes no file for it (nor is one left in the office's
// temporary folder). PowerPoint exports a slide only into a file
// (Slide.Export takes a file name; no member of its object model gives the
// picture in memory, and a copy through the clipboard would take the user's
// clipboard): each export writes that one slide's PNG into a new, empty file
// of this program's own in the user's folder of temporary files
// (GetTempPath, usually %TEMP%), named podiant-<process id>-<n>.png, which
// the server thread reads and removes as soon as Slide.Export has returned,
// whether it worked or not. The file exists only during that one call; only
// a program that is killed meanwhile leaves it behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

constexpr int32_t kSlideImageWidthMin = 160;
constexpr int32_t kSlideImageWidthMax = 1920;
// The most the kept pictures take; the least recently used go first.
constexpr size_t kSlideImageBytesAtMost = 64 * 1024 * 1024;

enum class SlideImageOutcome {
  kImage,    // `png` holds the picture
  kNoShow,   // no presentation whose show ran (or the application is gone)
  kNoSlide,  // the presentation has no such slide
  kFailed,   // the application could not export it
};

struct SlideImageAnswer {
  SlideImageOutcome outcome = SlideImageOutcome::kFailed;
  std::shared_ptr<const std::string> png;
  std::string tag;  // changes whenever the picture may have: for an HTTP ETag
};

// Called once with the answer: at once on the calling thread when the picture
// is kept already (or the request is refused at once), otherwise on the
// server thread when its export is done. It must not block.
using SlideImageDone = std::function<void(const SlideImageAnswer&)>;

// Any thread. `slide` from 1; `width` within the bounds above (the caller
// checks them: others are refused as kNoSlide). True when the request waits
// for an export: the caller then wakes the server thread.
bool RequestSlideImage(int32_t slide, int32_t width, SlideImageDone done);

// The server thread's side.

// Whether an export waits.
bool SlideImagesWaiting();

// Exports the oldest waiting picture (one) and answers every request for it.
void ExportWaitingSlideImage();

// A new presentation (an OPEN whose show runs): the pictures kept are
// dropped, and those of `fileName` are kept from now on (they are dropped
// again whenever its modification time changes). Waiting requests are
// answered as kNoShow when `fileName` is empty (no show).
void ChangeSlideImageSource(uint32_t show, const std::string& fileName);

// The bytes the kept pictures take (tests, bench).
size_t SlideImageBytesKept();

// Forgets everything (tests).
void ResetSlideImagesForTesting();
