#include "presentation/slide_images.h"

#include <cstdio>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "presentation/slide_show_back_end.h"

namespace {

// The most requests that wait for an export; a further one is answered
// kFailed at once (the web remote then answers that it is busy).
constexpr size_t kRequestsWaitingAtMost = 256;

using ImageKey = std::pair<int32_t, int32_t>;  // slide, width

struct KeptImage {
  std::shared_ptr<const std::string> png;
  std::string tag;
  std::list<ImageKey>::iterator use;  // its place in the order of use
};

struct WaitingExport {
  ImageKey key;
  std::vector<SlideImageDone> done;
};

// Shared by the requesting threads and the server thread, under `lock`.
struct SlideImageRecord {
  uint32_t show = 0;     // the show whose pictures are kept; 0: none
  std::string fileName;  // its presentation, as OPEN named it
  int64_t fileTime = 0;  // the file's modification time when they were kept
  std::map<ImageKey, KeptImage> kept;
  std::list<ImageKey> uses;  // most recently used first
  size_t bytes = 0;
  std::deque<WaitingExport> waiting;
  size_t requestsWaiting = 0;
};

std::mutex lock;
SlideImageRecord lockedImages;

void DropKept(SlideImageRecord& images) {
  images.kept.clear();
  images.uses.clear();
  images.bytes = 0;
}

// A file that changed since its pictures were made makes them stale.
void DropKeptIfFileChanged(SlideImageRecord& images) {
  int64_t now = FileModificationTime(images.fileName);
  if (now == images.fileTime) return;
  DropKept(images);
  images.fileTime = now;
}

void Keep(SlideImageRecord& images, const ImageKey& key, const SlideImageAnswer& answer) {
  const size_t size = answer.png->size();
  // The same picture made again (asked for while its first export ran) takes
  // the place of the one kept.
  auto same = images.kept.find(key);
  if (same != images.kept.end()) {
    images.bytes -= same->second.png->size();
    images.uses.erase(same->second.use);
    images.kept.erase(same);
  }
  if (size > kSlideImageBytesAtMost) return;  // given, but not kept
  while (images.bytes + size > kSlideImageBytesAtMost && !images.uses.empty()) {
    auto oldest = images.kept.find(images.uses.back());
    images.bytes -= oldest->second.png->size();
    images.kept.erase(oldest);
    images.uses.pop_back();
  }
  images.uses.push_front(key);
  images.kept[key] = KeptImage{answer.png, answer.tag, images.uses.begin()};
  images.bytes += size;
}

// The picture's own fingerprint (FNV-1a, 64 bits) with its size.
std::string ContentTag(const std::string& png) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char byte : png) hash = (hash ^ byte) * 0x100000001b3u;
  char tag[40];
  std::snprintf(tag, sizeof tag, "%016llx-%zx", static_cast<unsigned long long>(hash), png.size());
  return tag;
}

SlideImageAnswer Refusal(SlideImageOutcome outcome) {
  SlideImageAnswer answer;
  answer.outcome = outcome;
  return answer;
}

}  // namespace

bool RequestSlideImage(int32_t slide, int32_t width, SlideImageDone done) {
  if (slide < 1 || width < kSlideImageWidthMin || width > kSlideImageWidthMax) {
    done(Refusal(SlideImageOutcome::kNoSlide));
    return false;
  }
  const ImageKey key{slide, width};
  SlideImageAnswer answer;
  bool queued = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    SlideImageRecord& images = lockedImages;
    if (images.show == 0) {
      answer = Refusal(SlideImageOutcome::kNoShow);
    } else {
      DropKeptIfFileChanged(images);
      auto found = images.kept.find(key);
      if (found != images.kept.end()) {
        images.uses.splice(images.uses.begin(), images.uses, found->second.use);
        answer.outcome = SlideImageOutcome::kImage;
        answer.png = found->second.png;
        answer.tag = found->second.tag;
      } else if (images.requestsWaiting >= kRequestsWaitingAtMost) {
        answer = Refusal(SlideImageOutcome::kFailed);
      } else {
        // A picture asked for twice is exported once.
        WaitingExport* same = nullptr;
        for (WaitingExport& waiting : images.waiting) {
          if (waiting.key == key) same = &waiting;
        }
        if (same == nullptr) same = &images.waiting.emplace_back(WaitingExport{key, {}});
        same->done.push_back(std::move(done));
        ++images.requestsWaiting;
        queued = true;
      }
    }
  }
  if (!queued) done(answer);
  return queued;
}

bool SlideImagesWaiting() {
  std::lock_guard<std::mutex> guard(lock);
  return !lockedImages.waiting.empty();
}

void ExportWaitingSlideImage() {
  WaitingExport next;
  SlideImageAnswer kept;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (lockedImages.waiting.empty()) return;
    next = std::move(lockedImages.waiting.front());
    lockedImages.waiting.pop_front();
    lockedImages.requestsWaiting -= next.done.size();
    // Asked for again while its export ran: the picture is kept by now.
    auto found = lockedImages.kept.find(next.key);
    if (found != lockedImages.kept.end()) {
      kept.outcome = SlideImageOutcome::kImage;
      kept.png = found->second.png;
      kept.tag = found->second.tag;
    }
  }
  if (kept.outcome == SlideImageOutcome::kImage) {
    for (const SlideImageDone& done : next.done) done(kept);
    return;
  }
  // The application is called outside the lock: requests go on meanwhile.
  auto png = std::make_shared<std::string>();
  SlideExport outcome = ExportShowSlide(next.key.first, next.key.second, png.get());
  SlideImageAnswer answer;
  switch (outcome) {
    case SlideExport::kDone:
      answer.outcome = SlideImageOutcome::kImage;
      answer.tag = ContentTag(*png);
      answer.png = std::move(png);
      break;
    case SlideExport::kNoShow:
      answer.outcome = SlideImageOutcome::kNoShow;
      break;
    case SlideExport::kNoSlide:
      answer.outcome = SlideImageOutcome::kNoSlide;
      break;
    case SlideExport::kFailed:
      answer.outcome = SlideImageOutcome::kFailed;
      break;
  }
  if (answer.outcome == SlideImageOutcome::kImage) {
    std::lock_guard<std::mutex> guard(lock);
    if (lockedImages.show != 0) Keep(lockedImages, next.key, answer);
  }
  for (const SlideImageDone& done : next.done) done(answer);
}

void ChangeSlideImageSource(uint32_t show, const std::string& fileName) {
  std::deque<WaitingExport> answered;
  {
    std::lock_guard<std::mutex> guard(lock);
    SlideImageRecord& images = lockedImages;
    DropKept(images);
    images.show = fileName.empty() ? 0 : show;
    images.fileName = fileName;
    images.fileTime = images.show != 0 ? FileModificationTime(fileName) : 0;
    if (images.show == 0) {
      answered.swap(images.waiting);
      images.requestsWaiting = 0;
    }
  }
  const SlideImageAnswer none = Refusal(SlideImageOutcome::kNoShow);
  for (const WaitingExport& waiting : answered) {
    for (const SlideImageDone& done : waiting.done) done(none);
  }
}

size_t SlideImageBytesKept() {
  std::lock_guard<std::mutex> guard(lock);
  return lockedImages.bytes;
}

void ResetSlideImagesForTesting() {
  std::lock_guard<std::mutex> guard(lock);
  lockedImages = SlideImageRecord{};
}
