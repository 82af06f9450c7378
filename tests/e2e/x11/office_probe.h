// The test's own connection to the office that the server drives, through the
// same pipe: what the office shows, as the office itself reports it.
#pragma once

#include <string>

struct OfficeShow {
  bool open = false;     // a document loaded from the URL is open
  bool running = false;  // and its slide show runs
  int slides = 0;
  int index = -1;       // the current slide, from 0
  bool paused = false;  // the show is paused (a blank screen)
};

// The show of the document loaded from `fileUrl`. The probe connects on
// demand (again after the office went away); nothing on the pipe reads as
// nothing open.
OfficeShow ReadShow(const std::string& pipeName, const std::string& fileUrl);

// Moves the running show of that document to slide `index` (from 0), as the
// presenter at the PC would; false when there is no such show.
bool MoveShow(const std::string& pipeName, const std::string& fileUrl, int index);

// Whether an office accepts on the pipe.
bool ProbeConnects(const std::string& pipeName);

// Lets the office save `sourceUrl` (loaded hidden) as a PowerPoint file.
bool ConvertToPptx(const std::string& pipeName, const std::string& sourceUrl,
                   const std::string& targetUrl);

// Lets the office make the presentation of the slide-details tests and save
// it at `path` (an .odp): six slides with their titles and notes in the
// office's own placeholders (UTF-8 `notes`), the second with two shapes that
// appear on a click each, the third hidden, the fourth without notes, the
// fifth without a title (a picture where it would be).
bool MakeDetailsPresentation(const std::string& pipeName, const std::string& path,
                             const std::string& notes);

// The file URL of an absolute UTF-8 path, as the office writes it.
std::string OfficeFileUrl(const std::string& path);
