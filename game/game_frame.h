// The program's entry and its frame loop.
#pragma once

namespace Sequence {
class Parent;
}

// The whole program: starts the library, runs frames until the game ends, shuts down.
// -1 when the library cannot start, else 0.
int RunGame();

// One frame: messages, the current scene's update and a scene switch; 0 to go on, 1 to end.
int RunFrame();

// The root of the scene tree (null before the first frame), made with a title scene.
Sequence::Parent* GetRootParent();
void CreateRootParent();
// Deletes the current scene (saving a run's log) and the root.
void ReleaseRootParent();
