// editor.h -- the level editor's contract.
#ifndef TAVO_EDITOR_H
#define TAVO_EDITOR_H

// The cursor cell and the editing mode, read by the renderer for its marks.
extern int xeditor, yeditor, zeditor;
extern int edit_mode;        // 0 blocks, 1 textures, 2 objects, 3 players
extern int editor_texwall;   // textures mode: 0 floor, 1 walls, 2 roof

#endif
