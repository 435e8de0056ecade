"""What the game's screens must show.  Each check is a function of a Shot
that returns a Verdict, true when the shot shows it; `a and b` is the first
of two checks that fails, or the last verdict when both pass.  Coordinates
are pixels of the mode's picture; text is in Allegro's 8 x 8 font."""
from screen import Verdict, mismatch

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
RED = (255, 0, 0)
GREEN = (0, 255, 0)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)
CYAN = (0, 255, 255)

# Per cent of a view that may differ from the tool's still picture: a
# diamond near the eye, caught at another angle of its spin, covers over 1
# per cent of the default land's view.  A view drawn out of place, from
# elsewhere or in other colours differs all over.
VIEW_TOLERANCE = 3


def menu_shown(shot):
    return (shot.text(0, 0, "  G - game", CYAN) and shot.text(0, 8, "  E - editor", YELLOW)
            and shot.text(0, 16, "Esc - exit", GREEN) and shot.fill(0, 24, 320, 176))


def chooser_shown(size):
    def check(shot):
        return (shot.text(0, 0, "Up/down to choose; Enter to confirm", CYAN) and shot.text(0, 8, size, YELLOW)
                and shot.fill(0, 16, 320, 184))
    return check


def editor_shown(shot):
    # The editor's panel: its key list starts at (0, 32) in palette entry 2.
    # Only "N:" fits in the panel of the smallest size.
    return shot.text(0, 32, "N:", entry=2, prefix=True)


def mode_failure_shown(shot):
    return shot.text(0, 0, "Failed to set graphics mode.", RED) and shot.fill(0, 8, 320, 192)


def missing_data_shown(shot):
    # Without its datafile the game has only the library's default palette.
    return (shot.text(0, 0, "Cannot load tavo.dat.", RED, bg=BLACK)
            and shot.text(0, 8, "The data file is missing or damaged.", WHITE, bg=BLACK)
            and shot.fill(0, 16, 320, 8, BLACK)
            and shot.text(0, 24, "Press a key.", YELLOW, bg=BLACK)
            and shot.fill(0, 32, 320, 168, BLACK))


def land_failure_shown(name):
    def check(shot):
        return (shot.text(0, 0, "Cannot load the land:", RED) and shot.text(0, 8, name, WHITE)
                and shot.fill(0, 16, 320, 8) and shot.text(0, 24, "Press a key.", YELLOW)
                and shot.fill(0, 32, 320, 168))
    return check


def tape_failure_shown(start):
    def check(shot):
        return shot.text(0, 0, "Cannot replay the tape:", RED) and shot.text(0, 8, start, WHITE, prefix=True)
    return check


def panel_shown(x, y, w, h, least):
    """A panel of colour 0 but for the frame rate in its top-left corner, a
    number in palette entry 2 from LEAST to 100 (a frame is drawn only after
    a logic step, and there are 100 steps to the second)."""
    def check(shot):
        rate = shot.number(x, y, entry=2)
        if not rate:
            return Verdict(rate.status, "no frame rate: " + rate.said)
        if not least <= rate.value <= 100:
            return mismatch(f"the frame rate is {rate.value}, want {least} to 100")
        digits = 8 * len(str(rate.value))
        return shot.fill(x + digits, y, w - digits, 8, entry=0) and shot.fill(x, y + 8, w, h - 8, entry=0)
    return check


def one_player_game_shown(w, h, least, view):
    """The player's VIEW (a picture) right of a panel a quarter as wide."""
    def check(shot):
        return (shot.image(w // 4, 0, view, max_wrong=VIEW_TOLERANCE)
                and panel_shown(0, 0, w // 4, h, least)(shot))
    return check


def two_player_game_shown(w, h, least, view0, view1):
    """Each half a view of its own player over a panel, the frame rate on
    the left panel only."""
    view_h = h - h // 4

    def check(shot):
        return (shot.image(0, 0, view0, max_wrong=VIEW_TOLERANCE)
                and shot.image(w // 2, 0, view1, max_wrong=VIEW_TOLERANCE)
                and panel_shown(0, view_h, w // 2, h // 4, least)(shot)
                and shot.fill(w // 2, view_h, w // 2, h // 4, entry=0))
    return check


# ---- the editor --------------------------------------------------------------

PANEL_KEYS = {
    "Blocks": ("M:clear", "<:fill", ">:slope"),
    "Textures": ("M:surface", "<:last tex", ">:next tex"),
    "Objects": ("M:clear", "<:insert", ">:edit"),
    "Players": ("M:clear", "<:player 1", ">:player 2"),
}


def panel_line(shot, y, text):
    """A line of the 160-pixel panel, blank after the text; a longer text is
    cut at the panel's edge."""
    line = text[:20]
    w = 8 * len(line)
    v = shot.text(0, y, line, entry=2, prefix=True)
    return v and shot.fill(w, y, 160 - w, 8, entry=0) if w < 160 else v


def editor_panel_shown(name, mode):
    """The editor's panel in 640 x 480 naming the land and the mode, and
    nothing else on it."""
    def check(shot):
        keys = PANEL_KEYS[mode]
        return (panel_line(shot, 0, name) and shot.fill(0, 8, 160, 8, entry=0)
                and panel_line(shot, 16, mode) and shot.fill(0, 24, 160, 8, entry=0)
                and panel_line(shot, 32, "N:mode") and panel_line(shot, 40, keys[0])
                and panel_line(shot, 48, keys[1]) and panel_line(shot, 56, keys[2])
                and shot.fill(0, 64, 160, 416, entry=0))
    return check


def cursor_alone(x, y):
    """The editor's view shows the fog, but for the cursor's white disc of
    radius 10 centred at (x, y) of the shot."""
    def check(shot):
        return (shot.fill(x - 5, y - 5, 10, 10, WHITE)
                and shot.fill(160, 0, 480, y - 12, entry=0)
                and shot.fill(160, y + 13, 480, 480 - y - 13, entry=0)
                and shot.fill(160, y - 12, x - 172, 25, entry=0)
                and shot.fill(x + 13, y - 12, 627 - x, 25, entry=0))
    return check


def start_room_shown(shot):
    """The editor's first view of the bundled land3.lvl, from the corner of
    its room: the wall on the camera's left and the floor at its feet, where
    a land that failed to load would show fog."""
    if shot.fill(160, 0, 100, 480, entry=0) or shot.fill(160, 400, 480, 80, entry=0):
        return mismatch("fog where the room's wall or floor should be")
    return Verdict(0)


# ---- the library's dialogs ---------------------------------------------------
# They are drawn in the menu's yellow on blue wherever the library centres
# them, and found by what they say.

def dialog_line(shot, x, y, text):
    return shot.text(x, y, text, YELLOW, bg=BLUE, prefix=True)


def placed(shot, text):
    """The one place where a dialog shows TEXT, as VALUE (x, y)."""
    v = shot.find(text, YELLOW, BLUE)
    if v and len(v.value) != 1:
        return mismatch(f'"{text}" shows in {len(v.value)} places: {v.value}')
    if v:
        v.value = v.value[0]
    return v


def selector_shown(shot):
    """The file selector over the menu, by its title."""
    return placed(shot, "Load level")


def selector_640_shown(title, path):
    """The file selector in 640 x 480 titled TITLE with PATH in its edit
    field, the text cursor right after it."""
    def check(shot):
        v = placed(shot, title)
        if not v:
            return v
        tx, ty = v.value
        # The edit field has its place in the dialog, which the title gives.
        x, y, right = tx - 233, ty + 31, tx + 321
        end = x + 8 * len(path)
        return (dialog_line(shot, x, y, path) and shot.fill(end, y, 8, 8, YELLOW)
                and shot.fill(end + 8, y, right - end - 8, 8, BLUE))
    return check


def alert_shown(*lines):
    """An alert of these lines, each centred under the first."""
    def check(shot):
        v = placed(shot, lines[0])
        if not v:
            return v
        x, y = v.value
        centre = x + 4 * len(lines[0])
        for i, line in enumerate(lines[1:], 1):
            v = dialog_line(shot, centre - 4 * len(line), y + 8 * i, line)
            if not v:
                return v
        return v
    return check


unsaved_question_shown = alert_shown("The land has unsaved changes.", "Leave the editor and lose them?")
saved_shown = alert_shown("Level saved.")
loaded_shown = alert_shown("Level loaded.")


def question_gone(shot):
    if unsaved_question_shown(shot):
        return mismatch("the question is still shown")
    return Verdict(0)


def unreachable_shown(text):
    """After a save: "N diamond(s) cannot be reached" by any player."""
    return alert_shown(text, "by any player.")


def save_failure_shown(name):
    return alert_shown("The level was NOT saved:", name, "the file cannot be written.")


def replace_question_shown(name):
    """Save asks before writing over a file that the editor did not load or
    save itself."""
    return alert_shown(f"{name} exists.", "Replace it?")
