"""What a player does again and again: open a land, walk the chooser, open
the editor, save under a name."""
from checks import chooser_shown, editor_shown, selector_640_shown, selector_shown

# The chooser's sizes upwards from its first, 80 x 80.
UP_TO_640 = ("1600x1200", "1280x1024", "1024x768", "800x600", "640x480")


def open_land(screen, name=None):
    """G at the menu, then NAME typed into the file selector, or without
    NAME the selector cancelled (the game falls back on land.lvl)."""
    screen.press("g")
    screen.wait_for("file selector", selector_shown)
    if name is None:
        screen.press("Escape")
        return
    screen.type(name)
    screen.press("Return")


def walk_chooser(screen, key, *sizes):
    """KEY pressed once for each size, which the chooser must then show."""
    for size in sizes:
        screen.press(key)
        screen.wait_for(f"chooser on {size} after {key}", chooser_shown(size))


def open_editor(screen):
    """E at the menu, and 640 x 480 from the chooser's first size."""
    screen.press("e")
    screen.wait_for("chooser on 80x80", chooser_shown("80x80"))
    walk_chooser(screen, "Up", *UP_TO_640)
    screen.press("Return")
    screen.use(640, 480)
    screen.wait_for("editor in 640x480", editor_shown)
    # The dialogs show the library's mouse pointer wherever the mode change
    # left it, over their text at times: park it in the picture's
    # bottom-right corner, where only its tip shows.
    screen.mousemove(1023, 767)


def save_as(screen, folder, name, offered="land.lvl"):
    """F3 in the editor, the file name offered replaced with NAME."""
    screen.press("F3")
    screen.wait_for(f"save selector offering {offered}", selector_640_shown("Save level", f"{folder}/{offered}"))
    screen.keys(*["BackSpace"] * len(offered))
    screen.type(name)
    screen.wait_for(f"save selector on {name}", selector_640_shown("Save level", f"{folder}/{name}"))
    screen.press("Return")


def parked(screen, check):
    """CHECK, with the library's mouse pointer parked in the picture's
    bottom-right corner whenever the check fails: an alert comes up with the
    pointer wherever the last mode change left it, at times over its text."""
    def parked_check(shot):
        verdict = check(shot)
        if not verdict:
            screen.mousemove(1023, 767)
        return verdict
    return parked_check
