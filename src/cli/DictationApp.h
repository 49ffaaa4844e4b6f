#pragma once

#include <QString>
#include <QStringList>

namespace sayloom {

// `sayloom` without arguments: the dictation application in the user's X11 session. Builds the
// real parts (key monitor, microphone, keychain and account, transcription client, text
// insertion), runs the engine until SIGINT or SIGTERM, and answers other `sayloom` processes on
// the instance socket. `urls` (links of ours that started it) are handled once it runs. Returns the
// exit status.
int runDictationApp(const QStringList& urls = {});

// Why this session cannot run the application (no display), or an empty string.
QString dictationSessionProblem();

} // namespace sayloom
