// editor.cpp -- the editor's loop: a free camera, the cursor, four modes,
// the panel, and loading and saving lands.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/editor.h"
#include "new_land_textures.h"
#include "land/land.h"
#include "objects/objects.h"
#include "render/render.h"
#include "shell/shell.h"

namespace {

const int NEW_LAND_SIZE = 32;

const char *const mode_lines[4][4] = {
    {"Blocks", "M:clear", "<:fill", ">:slope"},
    {"Textures", "M:surface", "<:last tex", ">:next tex"},
    {"Objects", "M:clear", "<:insert", ">:edit"},
    {"Players", "M:clear", "<:player 1", ">:player 2"},
};

// The file last loaded or saved, as a full path: saving over it needs no
// question, saving over any other file that exists does.
std::string editor_file;

std::string full_path(const char *path)
{
    char full[PATH_MAX];
    return realpath(path, full) ? std::string(full) : std::string();
}

// A dialog stops the input timer, so that no frames pile up behind it.
struct dialog_pause {
    dialog_pause() { end_input(); }
    ~dialog_pause()
    {
        while (key[KEY_ESC] && !quit_signal())  // an Esc that closed the dialog must not leave the editor
            rest(1);
        clear_keybuf();
        resume_input();
    }
};

// The cursor must name a tile of the land in hand.
void keep_cursor_inside()
{
    if (xeditor >= land->w)
        xeditor = land->w - 1;
    if (yeditor >= land->h)
        yeditor = land->h - 1;
    if (xeditor < 0)
        xeditor = 0;
    if (yeditor < 0)
        yeditor = 0;
}

// Loads a land for editing; on failure the reason and null.  The current
// land and its player books are left alone either way.
LAND *load_for_editing(const char *path, const char *&why)
{
    LAND *l = load_land(path, LAND_FOR_EDITING);
    if (!l) {
        why = land_load_error();
        return nullptr;
    }
    if (l->w == 0 || l->h == 0) {
        destroy_land(l);
        why = "the land has no tiles";  // nothing to put a cursor on
        return nullptr;
    }
    return l;
}

// Makes l the land in hand, with its fog table and its player books as the
// loader found them.
void take_land(LAND *l)
{
    land = l;
    if (dat)
        build_fog_map((RGB *)dat[DATA_PALETTE].dat, l->fog_colour);
    for (int i = 0; i < 2; i++) {
        editor_player_exists[i] = l->player[i] != nullptr;
        // Undo replaces tiles, and with them the objects these point at.
        l->player[i] = nullptr;
    }
}

// Replaces the current land with l.
void replace_land(LAND *l)
{
    destroy_land(land);
    take_land(l);
    keep_cursor_inside();
    editor_clear_history();
}

bool confirm_discard(const char *question)
{
    if (!editor_land_changed())
        return true;
    return alert("The land has unsaved changes.", question, nullptr, "&Yes", "&No", 'y', 'n') == 1;
}

void load_dialog()
{
    dialog_pause pause;
    if (!confirm_discard("Load another and lose them?"))
        return;
    char path[256] = "";
    if (quit_signal() || !file_select_ex("Load level", path, "lvl", sizeof path, 0, 0) || quit_signal())
        return;
    const char *why = "";
    LAND *l = load_for_editing(path, why);
    if (!l) {
        alert("Cannot load the level:", get_filename(path), why, "OK", nullptr, 0, 0);
        return;
    }
    replace_land(l);
    snprintf(editor_filename, sizeof editor_filename, "%s", path);
    editor_file = full_path(path);
    if (!quit_signal())
        alert("Level loaded.", nullptr, nullptr, "OK", nullptr, 0, 0);
}

// Writes beside the old file and renames over it only once everything is
// written, so that a failed save never destroys the previous level.
int save_safely(const char *path)
{
    std::string tmp = std::string(path) + ".tmp";
    if (save_land(land, tmp.c_str()) != 0) {
        unlink(tmp.c_str());
        return -1;
    }
    if (rename(tmp.c_str(), path) != 0) {
        unlink(tmp.c_str());
        return -1;
    }
    return 0;
}

void save_dialog()
{
    dialog_pause pause;
    if (!editor_player_exists[0]) {
        alert("You must put", "Player 1 somewhere!", nullptr, "OK", nullptr, 0, 0);
        return;
    }
    char path[sizeof editor_filename];
    snprintf(path, sizeof path, "%s", editor_filename);
    if (!file_select_ex("Save level", path, "lvl", sizeof path, 0, 0) || quit_signal())
        return;
    struct stat st;
    if (stat(path, &st) == 0 && full_path(path) != editor_file) {
        char line[300];
        snprintf(line, sizeof line, "%s exists.", get_filename(path));
        if (alert(line, "Replace it?", nullptr, "&Yes", "&No", 'y', 'n') != 1 || quit_signal())
            return;
    }
    snprintf(editor_filename, sizeof editor_filename, "%s", path);
    if (save_safely(editor_filename) != 0) {
        alert("The level was NOT saved:", get_filename(editor_filename), "the file cannot be written.", "OK",
              nullptr, 0, 0);
        return;
    }
    editor_land_saved();
    editor_file = full_path(editor_filename);
    if (quit_signal())
        return;
    alert("Level saved.", nullptr, nullptr, "OK", nullptr, 0, 0);
    if (int lost = count_unreachable_diamonds(land)) {
        char line[80];
        snprintf(line, sizeof line, "%d diamond%s cannot be reached", lost, lost == 1 ? "" : "s");
        alert(line, "by any player.", nullptr, "OK", nullptr, 0, 0);
    }
}

// No dialog here: the keys typed after F4 stay in the buffer.  Only the
// timer is stopped, so that no frames pile up while the table is built.
void rebuild_fog_table()
{
    end_input();
    build_fog_map((RGB *)dat[DATA_PALETTE].dat, land->fog_colour);
    resume_input();
}

void next_fog_colour()
{
    land->fog_colour = (land->fog_colour + 1) & 255;
    rebuild_fog_table();
}

void step_cursor(int d)
{
    int x = xeditor + dir_dx[d & 3], y = yeditor + dir_dy[d & 3];
    if (x >= 0 && y >= 0 && x < land->w && y < land->h) {
        xeditor = x;
        yeditor = y;
    }
}

bool change_texture(int facing, int by)
{
    int *t = editor_get_texture(facing);
    if (!t || land->n_textures <= 0)
        return false;
    int next = (*t + by + land->n_textures) % land->n_textures;
    if (next == *t)
        return false;  // a land of one texture
    *t = next;
    return true;
}

// The commands that may change the land; true when one did.
bool land_command(int scancode, int facing)
{
    switch (scancode) {
    case KEY_F4:
        next_fog_colour();
        return true;
    case KEY_M:
        if (edit_mode != 1)
            return clear_land();
        editor_texwall = (editor_texwall + 1) % 3;
        return false;
    case KEY_COMMA:
        switch (edit_mode) {
        case 0: return fill_land();
        case 1: return change_texture(facing, -1);
        case 2: return insert_object();
        default: return insert_player(0);
        }
    case KEY_STOP:
        switch (edit_mode) {
        case 0: return insert_slope();
        case 1: return change_texture(facing, 1);
        case 2: return false;  // offered as "edit", but there is nothing to edit
        default: return insert_player(1);
        }
    }
    return false;
}

// Undo and redo may change the fog colour; the table follows it, built
// with the timer stopped as F4 builds it.
void step_history(bool (*step)())
{
    int fog = land->fog_colour;
    if (step() && land->fog_colour != fog)
        rebuild_fog_table();
}

// True for F5, which the caller answers.
bool dispatch_key(int scancode, int facing)
{
    switch (scancode) {
    case KEY_Y: step_cursor(facing); return false;
    case KEY_H: step_cursor(facing ^ 2); return false;
    case KEY_J: step_cursor(facing + 3); return false;
    case KEY_L: step_cursor(facing + 1); return false;
    case KEY_I:
        if (zeditor < EDITOR_MAX_LEVEL)
            zeditor++;
        return false;
    case KEY_K:
        if (zeditor > 0)
            zeditor--;
        return false;
    case KEY_N: edit_mode = (edit_mode + 1) % 4; return false;
    case KEY_F2: load_dialog(); return false;
    case KEY_F3: save_dialog(); return false;
    case KEY_F5: return true;
    case KEY_U: step_history(editor_undo); return false;
    case KEY_R: step_history(editor_redo); return false;
    case KEY_F4: editor_begin_change(false, -1); break;
    case KEY_M: editor_begin_change(true, -1); break;
    case KEY_COMMA:
    case KEY_STOP:
        // A player placed leaves its old cell, wherever that is.
        editor_begin_change(true, edit_mode == 3 ? (scancode == KEY_STOP) : -1);
        break;
    default:
        return false;
    }
    editor_end_change(land_command(scancode, facing));
    return false;
}

} // namespace

bool editor_handle_keys(int facing)
{
    while (keypressed() && !quit_signal())
        if (dispatch_key(readkey() >> 8, facing))
            return true;
    return false;
}

void editor_animate_player(PLAYER_INFO *row)
{
    OBJECT *o = row->object;
    PLAYER_DATA *p = (PLAYER_DATA *)o->data;
    bool on[N_ACTIONS];
    for (int a = 0; a < N_ACTIONS; a++)
        on[a] = action_held(ckey, 0, a);
    bool rise = false, sink = false;
    if (on[ACT_STRAFE]) {
        on[ACT_STRAFE_LEFT] |= on[ACT_TURN_LEFT];
        on[ACT_STRAFE_RIGHT] |= on[ACT_TURN_RIGHT];
        sink = on[ACT_DOWN];
        rise = on[ACT_UP];
        on[ACT_TURN_LEFT] = on[ACT_TURN_RIGHT] = on[ACT_DOWN] = on[ACT_UP] = false;
    }

    unsigned char held[N_HELD] = {};
    held[HELD_TURN_LEFT] = on[ACT_TURN_LEFT];
    held[HELD_TURN_RIGHT] = on[ACT_TURN_RIGHT];
    held[HELD_UP] = on[ACT_UP];
    held[HELD_DOWN] = on[ACT_DOWN];
    turn_and_tilt(p, held);

    // The camera flies as a player walks: a tile in FRAMES_PER_TILE steps, a
    // level up or down in slope steps, through anything.
    if (o->move_step) {
        if (o->move_step++ == FRAMES_PER_TILE - 1) {
            o->move_step = 0;
            o->x += dir_dx[o->dir & 3];
            o->y += dir_dy[o->dir & 3];
        }
    } else if (o->z_offset) {
        o->z_offset += o->z_speed;
        if (o->z_offset >= SUBUNITS_PER_LEVEL) {
            o->z--;
            o->z_offset = o->z_speed = 0;
        } else if (o->z_offset <= 0) {
            o->z_offset = o->z_speed = 0;
        }
    } else if (on[ACT_FORWARD] != on[ACT_BACK]) {
        o->dir = on[ACT_BACK] ? p->facing ^ 2 : p->facing;
        o->move_step = 1;
    } else if (on[ACT_STRAFE_LEFT] != on[ACT_STRAFE_RIGHT]) {
        o->dir = (p->facing + 1) % 4;
        if (on[ACT_STRAFE_LEFT])
            o->dir ^= 2;
        o->move_step = 1;
    } else if (rise != sink) {
        if (rise) {
            o->z++;
            o->z_offset = SUBUNITS_PER_LEVEL - SLOPE_STEP;
            o->z_speed = -SLOPE_STEP;
        } else {
            o->z_offset = SLOPE_STEP;
            o->z_speed = SLOPE_STEP;
        }
    }
}

void draw_editor_marks(int facing)
{
    float xe = (float)xeditor, ye = (float)yeditor, ze = (float)zeditor;
    mark_view_point(xe + 0.5f, ye + 0.5f, ze + 0.5f, 10);
    if (edit_mode != 1)
        return;
    // Textures mode marks the surface painted next as well.
    if (editor_texwall == 0) {
        mark_view_point(xe + 0.5f, ye + 0.5f, ze, 5);
    } else if (editor_texwall == 2) {
        mark_view_point(xe + 0.5f, ye + 0.5f, ze + 1, 5);
    } else {
        switch (facing) {
        case 0: mark_view_point(xe + 0.5f, ye, ze + 0.5f, 5); break;
        case 1: mark_view_point(xe + 1, ye + 0.5f, ze + 0.5f, 5); break;
        case 2: mark_view_point(xe + 0.5f, ye + 1, ze + 0.5f, 5); break;
        default: mark_view_point(xe, ye + 0.5f, ze + 0.5f, 5); break;
        }
    }
}

void draw_editor_panel(PLAYER_INFO *row)
{
    BITMAP *b = row->panel;
    clear_to_color(b, 0);
    const char *const *lines = mode_lines[edit_mode & 3];
    textout_ex(b, font, editor_filename, 0, 0, 2, -1);
    textout_ex(b, font, "N:mode", 0, 32, 2, -1);
    textout_ex(b, font, lines[1], 0, 40, 2, -1);
    textout_ex(b, font, lines[2], 0, 48, 2, -1);
    textout_ex(b, font, lines[3], 0, 56, 2, -1);
    textout_ex(b, font, lines[0], 0, 16, 2, -1);
}

LAND *create_solid_land(int w, int h, const char *const *names, int n_names)
{
    LAND *l = create_land(w, h, names, n_names);
    if (!l)
        return nullptr;
    for (int i = 0; i < n_names; i++)
        l->texture[i] = load_texture(data_path((std::string("textures/") + names[i]).c_str()).c_str());
    l->missing_texture = create_missing_texture();
    if (!l->missing_texture) {
        destroy_land(l);
        return nullptr;
    }
    return l;
}

void run_editor(const char *land_path)
{
    editor_running = 1;
    xeditor = yeditor = zeditor = 0;
    edit_mode = 0;
    editor_texwall = 0;
    editor_object = 0;

    PLAYER_INFO *row = &player_info[0];
    int quarter = scrbuf->w >> 2;
    row->panel = create_sub_bitmap(scrbuf, 0, 0, quarter, scrbuf->h);
    row->view = create_sub_bitmap(scrbuf, quarter, 0, scrbuf->w - quarter, scrbuf->h);

    OBJECT *camera = create_object(OBJ_PLAYER, 0, 0, 0);
    ((PLAYER_DATA *)camera->data)->facing = 1;
    row->object = camera;

    // The editor always has a land: a missing start-up land gives a new one.
    // A land named to edit is offered for saving under its own name, and
    // one that does not exist yet is begun as a new land of that name.
    std::string start_path = land_path ? std::string(land_path) : data_path("land3.lvl");
    if (land_path)
        snprintf(editor_filename, sizeof editor_filename, "%s", land_path);
    struct stat st;
    bool absent = land_path && stat(land_path, &st) != 0;
    const char *why = "";
    LAND *start = absent ? nullptr : load_for_editing(start_path.c_str(), why);
    editor_file = start ? full_path(start_path.c_str()) : std::string();
    if (start) {
        take_land(start);
    } else {
        take_land(create_solid_land(NEW_LAND_SIZE, NEW_LAND_SIZE, new_land_textures,
                                    (int)(sizeof new_land_textures / sizeof *new_land_textures)));
        if (!absent) {
            std::string line = std::string("Cannot load ") + get_filename(start_path.c_str()) + ":";
            alert(line.c_str(), why, "Starting on a new, solid land.", "OK", nullptr, 0, 0);
        }
    }
    editor_clear_history();
    keep_cursor_inside();
    for (const std::string &kept : take_recovered_notes()) {
        if (quit_signal())
            break;
        std::string folder = kept.substr(0, kept.rfind('/') + 1);
        alert("An unsaved land was recovered into", folder.c_str(), get_filename(kept.c_str()), "OK", nullptr, 0,
              0);
    }

    start_input();
    bool leave = false;
    bool esc_was_down = true;  // the Esc that left the menu may still be held
    bool play = false;
    while (!leave) {
        while (frame_store.load(std::memory_order_acquire) == 0 && !quit_signal())
            rest(0);
        if (quit_signal())
            break;
        while (frame_store.load(std::memory_order_acquire) > 0) {
            ckey = retrieve_input_frame();
            bool esc = ckey[KEY_ESC] != 0;
            if (esc && !esc_was_down) {
                leave = true;
                if (editor_land_changed() && !quit_signal()) {
                    dialog_pause pause;
                    leave = alert("The land has unsaved changes.", "Leave the editor and lose them?", nullptr,
                                  "&Yes", "&No", 'y', 'n') == 1;
                }
            }
            esc_was_down = esc;
            editor_animate_player(row);
            play = editor_handle_keys(((PLAYER_DATA *)camera->data)->facing);
            destroy_input_frame();
            if (play)
                break;
        }
        if (quit_signal())
            break;
        if (play && !leave) {
            // Between frames: the game takes the input over and hands back
            // a fresh ring.
            play = false;
            editor_test_play();
            esc_was_down = true;
            continue;
        }
        draw_player_row(row);
        draw_editor_marks(((PLAYER_DATA *)camera->data)->facing);
        draw_editor_panel(row);
        blit(scrbuf, screen, 0, 0, 0, 0, scrbuf->w, scrbuf->h);
    }

    end_input();
    // Whatever the last question was answered with, a land left unsaved by
    // a signal is kept.
    if (quit_signal() && editor_land_changed())
        recover_unsaved_land();
    editor_clear_history();
    destroy_land(land);
    land = nullptr;
    destroy_object(&row->object);
    destroy_bitmap(row->view);
    destroy_bitmap(row->panel);
    row->view = row->panel = nullptr;
    editor_running = 0;
}
