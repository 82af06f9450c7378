// The web remote ([web] port=): a page for phones and an HTTP API, served on
// a thread of its own. It hands commands to the server thread through its
// inbox and follows the show through the server thread's show watch; it
// never calls the presentation application itself.
#pragma once

// The main thread, after LoadSettings and before the server thread goes on
// past its initialisation: nothing without [web]. Observes the show's status
// and starts the web thread, which waits for the server's start-up lines,
// listens on the commands' listen address and writes
// "Web remote at http://<address>:<port>/ code <code>" (or an ERROR line,
// and no web remote, when the port cannot be opened).
void StartWebRemote();

// The main thread, once the server thread has ended: closes every connection
// and ends the web thread.
void StopWebRemote();
