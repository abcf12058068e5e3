#pragma once

#include <functional>

class Prompter;
class RemoteTaskPool;

// Quitting while an upload or a delete runs asks first. If the user quits anyway, every operation of the pool
// is cancelled and its curl runs end before quit() runs, so nothing goes on behind a closed window. With
// nothing running, quit() runs at once.
void quitWhenConfirmed(RemoteTaskPool& pool, Prompter& prompter, std::function<void()> quit);
