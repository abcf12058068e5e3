#pragma once

#include <QStringList>

#include <cstdio>
#include <optional>

// `kalvor --help` and `kalvor --version`: answered before anything needs a display, so they work over ssh,
// in scripts and on machines without a desktop. The exit code when the arguments ask for one of them (the
// text went to out), none otherwise. Options are read up to "--"; after it every argument is a file.
std::optional<int> answerInfoOptions(const QStringList& arguments, std::FILE* out);
