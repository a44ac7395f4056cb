#!/usr/bin/env python3
"""Writes QUORIX's icons, its style sheets and the resource file that compiles them.

Every icon is drawn once below on a 24 x 24 grid with three colour tokens (FG for the figure,
AC for the accent of measured points and highlights, AL for alerts such as recording and
deleting) and written twice: src/resources/imgs/NAME.svg with light colours for the dark theme
and src/resources/imgs/dark/NAME.svg with dark colours for the light theme. The resource file
src/resources/look.qrc is written too.

The style sheets are written from src/resources/styles/templates/NAME.css.in, once per theme:
styles/NAME.css (dark) and styles/NAME_light.css (light), with the @TOKEN@ colours of STYLE_THEMES.

Run it after adding or changing an icon or a template:

    /usr/bin/python3 tools/make-look.py
"""
import math
import os

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(TOP, "src", "resources")

# Theme palettes: the folder under imgs/ and the colours of the three tokens.
THEMES = {
    "": {"FG": "#d6dbe1", "AC": "#4fb3ff", "AL": "#ff6b5e"},  # dark theme: light figures
    "dark/": {"FG": "#2c333b", "AC": "#1769c2", "AL": "#d93a2b"},  # light theme: dark figures
}

STROKE = 'fill="none" stroke="FG" stroke-width="1.6" stroke-linecap="round" stroke-linejoin="round"'


def g(body, attrs=STROKE):
    return f"<g {attrs}>{body}</g>"


def pt(x, y):
    """A measured point: a small accent square, the mark every measuring tool shares."""
    return f'<rect x="{x - 1.7:.2f}" y="{y - 1.7:.2f}" width="3.4" height="3.4" fill="AC" stroke="none"/>'


def pts(*coords):
    return "".join(pt(x, y) for x, y in coords)


def line(x1, y1, x2, y2, extra=""):
    return f'<path d="M{x1} {y1} L{x2} {y2}"{extra}/>'


DASH = ' stroke-dasharray="2 2"'


def arrowhead(x1, y1, x2, y2, size=4.5):
    """Two strokes at (x2, y2) pointing away from (x1, y1)."""
    a = math.atan2(y2 - y1, x2 - x1)
    p = []
    for da in (math.radians(150), math.radians(-150)):
        p.append((x2 + size * math.cos(a + da), y2 + size * math.sin(a + da)))
    return (f'<path d="M{p[0][0]:.2f} {p[0][1]:.2f} L{x2} {y2} L{p[1][0]:.2f} {p[1][1]:.2f}"/>')


def ellipse_points(cx, cy, rx, ry, rot, angles):
    r = math.radians(rot)
    out = []
    for deg in angles:
        t = math.radians(deg)
        x, y = rx * math.cos(t), ry * math.sin(t)
        out.append((cx + x * math.cos(r) - y * math.sin(r), cy + x * math.sin(r) + y * math.cos(r)))
    return out


def rotate(x, y, deg, cx=12, cy=12):
    r = math.radians(deg)
    dx, dy = x - cx, y - cy
    return (cx + dx * math.cos(r) - dy * math.sin(r), cy + dx * math.sin(r) + dy * math.cos(r))


ICONS = {}

# ---- Measuring tools: each shows the figure it draws and the points the user sets. ----
ICONS["tool_line"] = g(line(4, 19, 20, 5)) + pts((4, 19), (20, 5))
ICONS["tool_polyline"] = g('<path d="M3 18 L9 7 L15 15 L21 5"/>') + pts((3, 18), (9, 7), (15, 15), (21, 5))
ICONS["tool_rect"] = g('<rect x="4" y="6" width="16" height="12"/>') + pts((4, 6), (20, 18))
ICONS["tool_polygon"] = g('<path d="M12 3 L21 10 L17.5 20 L6.5 20 L3 10 Z"/>') + pts(
    (12, 3), (21, 10), (17.5, 20), (6.5, 20), (3, 10))
ICONS["tool_line3point"] = g(line(5, 19, 5, 6) + line(19, 19, 19, 6) + line(5, 9, 19, 9)
                             + arrowhead(12, 9, 5, 9, 3.5) + arrowhead(12, 9, 19, 9, 3.5)) + pts(
    (5, 19), (19, 19), (12, 9))
ICONS["tool_circle_center_radius"] = g('<circle cx="12" cy="12" r="8.5"/>' + line(12, 12, 18, 6)) + pts(
    (12, 12), (18, 6))
ICONS["tool_double_circle"] = g('<circle cx="7" cy="12" r="4.5"/><circle cx="17.5" cy="12" r="4.5"/>'
                                + line(7, 12, 17.5, 12, DASH)) + pts((7, 12), (17.5, 12))
ICONS["tool_rect3point"] = g('<path d="M3 14 L13 6 L17.4 11.5 L7.4 19.5 Z"/>') + pts(
    (3, 14), (13, 6), (17.4, 11.5))
ICONS["tool_angle3point"] = g('<path d="M20 19 L4 19 L14 5"/><path d="M10 19 A6 6 0 0 0 7.5 14.1"/>') + pts(
    (20, 19), (4, 19), (14, 5))
ICONS["tool_angle4point"] = g(line(3, 20, 9, 9) + line(15, 9, 21, 20) + line(9, 9, 12, 3.5, DASH)
                              + line(15, 9, 12, 3.5, DASH)
                              + '<path d="M10.6 6.6 A3.5 3.5 0 0 0 13.4 6.6"/>') + pts(
    (3, 20), (9, 9), (15, 9), (21, 20))
ICONS["tool_circle2point"] = g('<circle cx="12" cy="12" r="8.5"/>' + line(3.5, 12, 20.5, 12)) + pts(
    (3.5, 12), (20.5, 12))
ICONS["tool_ellipse"] = g('<rect x="3" y="6" width="18" height="12"' + DASH + ' stroke-width="1"/>'
                          + '<ellipse cx="12" cy="12" rx="9" ry="6"/>') + pts((3, 6), (21, 18))
ICONS["tool_ellipse3point"] = g(
    '<g transform="rotate(-25 12 12)"><ellipse cx="12" cy="12" rx="8.2" ry="5"/>'
    '<path d="M3.8 7 L20.2 7" stroke-dasharray="2 2" stroke-width="1"/></g>') + pts(
    *(rotate(x, y, -25) for x, y in ((3.8, 7), (20.2, 7), (12, 17))))
ICONS["tool_ellipse5point"] = g(
    '<g transform="rotate(-25 12 12)"><ellipse cx="12" cy="12" rx="9" ry="5.5"/></g>') + pts(
    *ellipse_points(12, 12, 9, 5.5, -25, [15, 95, 160, 220, 300]))
ICONS["tool_arrow"] = g(line(4, 20, 19, 5) + arrowhead(4, 20, 19, 5, 6)) + pts((4, 20))
ICONS["tool_arc"] = g('<path d="M4 17 A9 9 0 0 1 20 17"/>') + pts((4, 17), (12, 3.9), (20, 17))
ICONS["tool_para4points"] = g(line(3, 9, 21, 4) + line(3, 20, 21, 15) + line(11.4, 6.7, 14.4, 16.8, DASH)) + pts(
    (3, 9), (21, 4), (3, 20), (21, 15))
ICONS["tool_para8points"] = g(line(3, 9, 21, 4) + line(3, 20, 21, 15)) + pts(
    (3, 9), (9, 7.33), (15, 5.67), (21, 4), (3, 20), (9, 18.33), (15, 16.67), (21, 15))
ICONS["tool_paraany"] = g(line(3, 9, 21, 4) + line(3, 20, 21, 15)) + pts(
    (4, 10.2), (9.5, 6.3), (14, 6.9), (19.5, 3.6), (5, 18.4), (11, 18.9), (17, 15.3)) + g(
    '<path d="M18.5 20.5 h4 M20.5 18.5 v4"/>', STROKE.replace("FG", "AC").replace("1.6", "1.4"))
ICONS["tool_perp3points"] = g(line(3, 18, 21, 18) + line(12, 5, 12, 18, DASH)
                              + '<path d="M12 14.5 H15.5 V18"/>') + pts((3, 18), (21, 18), (12, 5))
ICONS["tool_perp4points"] = g(line(3, 18, 21, 18) + line(13, 4, 13, 11) + line(13, 11, 13, 18, DASH)
                              + '<path d="M13 14.5 H16.5 V18"/>') + pts((3, 18), (21, 18), (13, 4), (13, 11))
ICONS["tool_text"] = g('<path d="M6 6 H18 M12 6 V19 M9.5 19 H14.5"/>') + g(
    '<path d="M3 8 V3 H8 M16 3 H21 V8 M21 16 V21 H16 M8 21 H3 V16"/>',
    STROKE.replace("FG", "AC").replace("1.6", "1.3"))
ICONS["tool_scale"] = g('<rect x="3" y="12" width="18" height="5"/>'
                        + '<path d="M3 9 V12 M12 10 V12 M21 9 V12"/>') + (
    '<rect x="3" y="12" width="4.5" height="5" fill="FG"/><rect x="12" y="12" width="4.5" height="5" fill="FG"/>')
ICONS["tool_mouse"] = g('<path d="M6 3.5 L6 19 L10 15.2 L12.8 21 L15.4 19.8 L12.7 14.2 L18 14 Z"/>')
ICONS["tool_palm"] = g('<path d="M8 12 V5.5 a1.5 1.5 0 0 1 3 0 V11 M11 5 V3.8 a1.5 1.5 0 0 1 3 0 V11 '
                       'M14 5 a1.5 1.5 0 0 1 3 0 V12 M17 8 a1.5 1.5 0 0 1 3 0 V14 c0 4 -3 7 -7 7 '
                       'h-1 c-2.5 0 -4 -1 -5.5 -3 L3.6 13.8 a1.5 1.5 0 0 1 2.3 -1.9 L8 14"/>')
ICONS["delete"] = g('<path d="M4 6.5 H20 M9.5 6.5 V4 H14.5 V6.5 M6 6.5 L7 20.5 H17 L18 6.5 '
                    'M10 10 V17 M14 10 V17"/>', STROKE.replace("FG", "AL"))
ICONS["delete_all"] = g('<path d="M4 6.5 H20 M9.5 6.5 V4 H14.5 V6.5 M6 6.5 L7 20.5 H17 L18 6.5 '
                        'M9.5 10 L14.5 17 M14.5 10 L9.5 17"/>', STROKE.replace("FG", "AL"))

# ---- Window and title bar ----
ICONS["minus"] = g(line(5, 12, 19, 12))
ICONS["maximize"] = g('<rect x="5" y="5" width="14" height="14" rx="1"/>')
ICONS["normalsize"] = g('<rect x="4" y="8" width="12" height="12" rx="1"/><path d="M8 8 V5 a1 1 0 0 1 1 -1 H19 '
                        'a1 1 0 0 1 1 1 V15 a1 1 0 0 1 -1 1 H16"/>')
ICONS["close"] = g('<path d="M6 6 L18 18 M18 6 L6 18"/>')
ICONS["about"] = g('<circle cx="12" cy="12" r="9"/><path d="M12 11 V17"/>') + '<circle cx="12" cy="7.6" r="1.2" fill="FG"/>'
ICONS["menu"] = g('<path d="M4 6.5 H20 M4 12 H20 M4 17.5 H20"/>')


def gear(cx, cy, r_out, r_in, teeth):
    p = []
    for i in range(teeth * 2):
        a0 = math.pi * 2 * i / (teeth * 2) - math.pi / (teeth * 2)
        r = r_out if i % 2 == 0 else r_in
        for da in (0.08, math.pi * 2 / (teeth * 2) - 0.08):
            p.append((cx + r * math.cos(a0 + da), cy + r * math.sin(a0 + da)))
    return "M" + " L".join(f"{x:.2f} {y:.2f}" for x, y in p) + " Z"


ICONS["setup_fill"] = (f'<path d="{gear(12, 12, 10, 7.6, 8)} M12 8.2 a3.8 3.8 0 1 0 0.01 0 Z" '
                       'fill="FG" fill-rule="evenodd"/>')
ICONS["fullscreen"] = g('<path d="M4 9 V4 H9 M15 4 H20 V9 M20 15 V20 H15 M9 20 H4 V15"/>')
ICONS["exitfullscreen"] = g('<path d="M9 4 V9 H4 M20 9 H15 V4 M15 20 V15 H20 M4 15 H9 V20"/>')

# ---- Tool strip and panels ----
ICONS["camera"] = g('<path d="M3 8 a1.5 1.5 0 0 1 1.5 -1.5 H7.5 L9 4 H15 L16.5 6.5 H19.5 a1.5 1.5 0 0 1 1.5 1.5 '
                    'V18 a1.5 1.5 0 0 1 -1.5 1.5 H4.5 A1.5 1.5 0 0 1 3 18 Z"/><circle cx="12" cy="12.8" r="3.8"/>')
ICONS["measure"] = g('<path d="M3 16.5 L16.5 3 L21 7.5 L7.5 21 Z M7 12.5 L9 14.5 M9.5 10 L12.5 13 M12 7.5 L14 9.5 '
                     'M14.5 5 L17.5 8"/>')
ICONS["video"] = g('<rect x="2.5" y="6" width="13" height="12" rx="1.5"/><path d="M15.5 10.5 L21.5 7 V17 L15.5 13.5"/>')
ICONS["image"] = g('<rect x="3" y="4.5" width="18" height="15" rx="1.5"/><path d="M3 16.5 L8.5 11 L13 15.5 L15.5 13 L21 18"/>'
                   '<circle cx="15.5" cy="9" r="1.8"/>')
ICONS["circular"] = g('<circle cx="12" cy="12" r="8.5"/><circle cx="12" cy="12" r="4"/>') + pt(12, 12)
ICONS["refresh"] = g('<path d="M19.5 12 a7.5 7.5 0 0 1 -13 5.1 M4.5 12 a7.5 7.5 0 0 1 13 -5.1 M18 3.5 V7.5 H14 '
                     'M6 20.5 V16.5 H10"/>')
ICONS["reset"] = g('<path d="M5 12 a7 7 0 1 0 2.1 -5 M4.5 3.5 V8 H9"/>') + '<circle cx="12" cy="12" r="1.6" fill="FG"/>'
ICONS["play"] = '<path d="M7.5 4.5 L19.5 12 L7.5 19.5 Z" fill="FG"/>'
ICONS["pause"] = '<rect x="6" y="5" width="4" height="14" rx="1" fill="FG"/><rect x="14" y="5" width="4" height="14" rx="1" fill="FG"/>'
ICONS["capture"] = g('<circle cx="12" cy="12" r="9"/>') + '<circle cx="12" cy="12" r="5.5" fill="FG"/>'
ICONS["record"] = g('<circle cx="12" cy="12" r="9"/>') + '<circle cx="12" cy="12" r="5" fill="AL"/>'
ICONS["stop_record"] = g('<circle cx="12" cy="12" r="9"/>') + '<rect x="8.3" y="8.3" width="7.4" height="7.4" rx="1" fill="AL"/>'
ICONS["open"] = g('<path d="M3 19 V5.5 a1 1 0 0 1 1 -1 H9 L11 7 H18 a1 1 0 0 1 1 1 V10 M3 19 L6 11 H21.5 L18.5 19 Z"/>')
ICONS["folder"] = g('<path d="M3 6 a1 1 0 0 1 1 -1 H9 L11 7.5 H20 a1 1 0 0 1 1 1 V18 a1 1 0 0 1 -1 1 H4 '
                    'a1 1 0 0 1 -1 -1 Z"/>')
ICONS["save"] = g('<path d="M4 5 a1 1 0 0 1 1 -1 H16.5 L20 7.5 V19 a1 1 0 0 1 -1 1 H5 a1 1 0 0 1 -1 -1 Z '
                  'M8 4 V9 H15 V4 M7.5 20 V14 H16.5 V20"/>')
ICONS["save_fused"] = g('<rect x="3" y="4.5" width="18" height="15" rx="1.5"/><path d="M3 16.5 L8 12 L12 15.5"/>') + g(
    line(11, 9, 19, 16)) + pts((11, 9), (19, 16))
ICONS["report"] = g('<path d="M6 3 H14 L19 8 V20 a1 1 0 0 1 -1 1 H6 a1 1 0 0 1 -1 -1 V4 a1 1 0 0 1 1 -1 Z M14 3 V8 H19 '
                    'M8.5 17.5 V14.5 M12 17.5 V11.5 M15.5 17.5 V13"/>')
ICONS["export"] = g('<path d="M13 3 H6 a1 1 0 0 0 -1 1 V20 a1 1 0 0 0 1 1 H13 M8.5 8 H12 M8.5 12 H11 M8.5 16 H12 '
                    'M12.5 12 H21 M18 9 L21 12 L18 15"/>')
ICONS["undo"] = g('<path d="M9 5 L4.5 9.5 L9 14 M4.5 9.5 H14.5 a5 5 0 0 1 0 10 H9"/>')
ICONS["redo"] = g('<path d="M15 5 L19.5 9.5 L15 14 M19.5 9.5 H9.5 a5 5 0 0 0 0 10 H15"/>')
ICONS["list"] = g('<path d="M9 6.5 H20 M9 12 H20 M9 17.5 H20"/>') + "".join(
    f'<circle cx="4.8" cy="{y}" r="1.3" fill="FG"/>' for y in (6.5, 12, 17.5))
ICONS["zoom_in"] = g('<circle cx="10.5" cy="10.5" r="6.5"/><path d="M15.3 15.3 L20.5 20.5 M7.5 10.5 H13.5 M10.5 7.5 V13.5"/>')
ICONS["zoom_out"] = g('<circle cx="10.5" cy="10.5" r="6.5"/><path d="M15.3 15.3 L20.5 20.5 M7.5 10.5 H13.5"/>')
ICONS["mirror"] = g('<path d="M12 3 V21"' + DASH + '/><path d="M9 7 L3 17 H9 Z M15 7 L21 17 H15 Z"/>')
ICONS["flip"] = g('<path d="M3 12 H21"' + DASH + '/><path d="M7 9 L17 3 V9 Z M7 15 L17 21 V15 Z"/>')
ICONS["calibration"] = g('<path d="M3 20 H21 M3 20 V16 M7.5 20 V18 M12 20 V16 M16.5 20 V18 M21 20 V16"/>'
                         '<circle cx="12" cy="8.5" r="4.5"/><path d="M12 2.5 V5 M12 12 V14.5 M6 8.5 H8.5 M15.5 8.5 H18"/>')
ICONS["magnification"] = g('<circle cx="10" cy="10" r="6.5"/><path d="M14.8 14.8 L20.5 20.5"/>'
                           '<path d="M7.6 8 L12.4 12.8 M12.4 8 L7.6 12.8"/>')
ICONS["appearance"] = g('<path d="M12 3 a9 9 0 1 0 0 18 c1.4 0 2 -1 1.6 -2.2 c-0.5 -1.4 0.4 -2.8 1.9 -2.8 H18 '
                       'a3 3 0 0 0 3 -3 C21 7 17 3 12 3 Z"/>') + "".join(
    f'<circle cx="{x}" cy="{y}" r="1.5" fill="AC"/>' for x, y in ((7.5, 11), (10, 7), (14.5, 7), (17, 10.5)))
ICONS["misc"] = g('<path d="M4 7 H20 M4 12 H20 M4 17 H20"/>') + "".join(
    f'<circle cx="{x}" cy="{y}" r="2.2" fill="AC"/>' for x, y in ((9, 7), (15, 12), (7, 17)))
ICONS["keyboard"] = g('<rect x="2.5" y="6" width="19" height="12" rx="1.5"/><path d="M8 14.5 H16"/>') + "".join(
    f'<rect x="{x - 0.8}" y="{y - 0.8}" width="1.6" height="1.6" fill="FG"/>'
    for x, y in ((6, 9.5), (9.3, 9.5), (12.6, 9.5), (15.9, 9.5), (18, 12), (6, 12)))
ICONS["add"] = g('<path d="M12 5 V19 M5 12 H19"/>')
ICONS["edit"] = g('<path d="M4 20 L4.8 16.2 L15.5 5.5 a2.1 2.1 0 0 1 3 3 L7.8 19.2 Z M13.5 7.5 L16.5 10.5"/>')
ICONS["arrow_down"] = g('<path d="M6 9.5 L12 15.5 L18 9.5"/>')
ICONS["arrow_up"] = g('<path d="M6 14.5 L12 8.5 L18 14.5"/>')
ICONS["arrow_right"] = g('<path d="M9.5 6 L15.5 12 L9.5 18"/>')
ICONS["arrow_left"] = g('<path d="M14.5 6 L8.5 12 L14.5 18"/>')
ICONS["tick"] = g('<path d="M5 12.5 L10 17.5 L19 7"/>', STROKE.replace("FG", "AC").replace("1.6", "2.4"))
ICONS["checkbox_off"] = g('<rect x="4" y="4" width="16" height="16" rx="2.5"/>')
ICONS["checkbox_on"] = ('<rect x="4" y="4" width="16" height="16" rx="2.5" fill="AC"/>'
                        + g('<path d="M7.5 12.3 L10.7 15.5 L16.5 8.8"/>', STROKE.replace("FG", "#ffffff").replace("1.6", "2.2")))
ICONS["radio_off"] = g('<circle cx="12" cy="12" r="8"/>')
ICONS["radio_on"] = g('<circle cx="12" cy="12" r="8"/>', STROKE.replace("FG", "AC")) + '<circle cx="12" cy="12" r="4.2" fill="AC"/>'

# The tick of the attribute tree's check boxes sits on a gray frame in both themes: one accent
# blue that reads on the dark and on the light table.
FIXED = {"tick": {"AC": "#2f8fdd"}}

# Names that the program's code addresses with a .png or .ico suffix: the same SVG under that
# alias. Qt's image reader recognises the SVG content whatever the suffix says.
PNG_ALIASES = ["fullscreen", "exitfullscreen", "setup_fill", "about", "refresh", "tick",
               "normalsize", "minus", "maximize", "close"]
MENU_ICONS = ["normalsize", "minus", "maximize", "close"]

STYLES = ["mainwidget", "treewidget", "button"]

# Style sheet colours: (file suffix, icon folder, colours).
STYLE_THEMES = [
    ("", "", {
        "WINDOW": "#1e2227", "PANEL": "#252a31", "TITLE": "#1a1d22", "RAISED": "#2e343c",
        "HOVER": "#363d46", "PRESSED": "#414a55", "BORDER": "#39404a", "BORDER_STRONG": "#56606c",
        "TEXT": "#d6dbe1", "TEXT_DIM": "#8b949e", "ACCENT": "#2f8fdd", "ACCENT_TEXT": "#ffffff",
        "SELECT_BG": "#1f4466", "HANDLE": "#1e2227", "SCROLL": "#4a525d", "ALT_ROW": "#2a3038",
        "DISABLED_BG": "#252a31",
    }),
    ("_light", "dark/", {
        "WINDOW": "#f4f5f7", "PANEL": "#ffffff", "TITLE": "#e9ecf0", "RAISED": "#ffffff",
        "HOVER": "#e2e7ee", "PRESSED": "#d2d9e2", "BORDER": "#c9cfd7", "BORDER_STRONG": "#9aa4b0",
        "TEXT": "#1f2328", "TEXT_DIM": "#646d78", "ACCENT": "#1769c2", "ACCENT_TEXT": "#ffffff",
        "SELECT_BG": "#d5e6fa", "HANDLE": "#ffffff", "SCROLL": "#b9c1cb", "ALT_ROW": "#f6f8fa",
        # A disabled button sinks a shade below the white raised ones, as the dark theme's do.
        "DISABLED_BG": "#eaedf1",
    }),
]

# The measuring-tool buttons of the left bar and their icons.
TOOL_BUTTONS = {
    "pushButtonStraightLine": "tool_line", "pushButtonBrokenLine": "tool_polyline",
    "pushButtonRect": "tool_rect", "pushButtonPolygon": "tool_polygon",
    "pushButtonLine3Point": "tool_line3point",
    "pushButtonCircleCenterRadius": "tool_circle_center_radius",
    "pushButtonDCircle": "tool_double_circle", "pushButtonRect3Point": "tool_rect3point",
    "pushButtonAngle3Point": "tool_angle3point", "pushButtonAngle4Point": "tool_angle4point",
    "pushButtonCircle2Point": "tool_circle2point", "pushButtonEllipse": "tool_ellipse",
    "pushButtonEllipse3Point": "tool_ellipse3point", "pushButtonEllipse5Point": "tool_ellipse5point",
    "pushButtonArrow": "tool_arrow", "pushButtonArc": "tool_arc",
    "pushButtonPara4Points": "tool_para4points", "pushButtonPara8Points": "tool_para8points",
    "pushButtonParaAny": "tool_paraany", "pushButtonPerp3Points": "tool_perp3points",
    "pushButtonPerp4Points": "tool_perp4points", "pushButtonText": "tool_text",
    "pushButtonScale": "tool_scale", "pushButtonMouse": "tool_mouse", "pushButtonPalm": "tool_palm",
    "pushButtonDel": "delete", "pushButtonDelAll": "delete_all",
}


def write_styles():
    templates = os.path.join(RES, "styles", "templates")
    selectors = ",\n".join(f"QPushButton#{b}" for b in TOOL_BUTTONS)
    chosen = ",\n".join(f'QPushButton#{b}[ChooseType="choose"]' for b in TOOL_BUTTONS)
    for style in STYLES:
        with open(os.path.join(templates, style + ".css.in")) as f:
            template = f.read()
        for suffix, folder, colours in STYLE_THEMES:
            icons = "".join(f"QPushButton#{b} {{\n    qproperty-icon: url(:/imgs/{folder}{i}.svg);\n}}\n"
                            for b, i in TOOL_BUTTONS.items())
            text = (template.replace("@TOOL_BUTTONS@", selectors)
                    .replace("@TOOL_BUTTONS_CHOOSE@", chosen).replace("@TOOL_ICONS@", icons)
                    .replace("@ICONS@", folder))
            for token, colour in colours.items():
                text = text.replace(f"@{token}@", colour)
            if "@" in text.replace("@ICONS", ""):
                raise SystemExit(f"{style}: unknown token left in the style sheet")
            with open(os.path.join(RES, "styles", style + suffix + ".css"), "w") as f:
                f.write(text)


def svg(body, colours):
    text = body
    for token, colour in colours.items():
        text = text.replace(f'"{token}"', f'"{colour}"')
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">'
            + text + "</svg>\n")


def main():
    for folder, palette in THEMES.items():
        out = os.path.join(RES, "imgs", folder)
        os.makedirs(out, exist_ok=True)
        for name, body in ICONS.items():
            colours = dict(palette)
            colours.update(FIXED.get(name, {}))
            with open(os.path.join(out, name + ".svg"), "w") as f:
                f.write(svg(body, colours))

    lines = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '<qresource prefix="/">']
    for style in STYLES:
        for suffix in ("", "_light"):
            lines.append(f'    <file alias="{style}{suffix}.css">styles/{style}{suffix}.css</file>')
    lines.append('</qresource>')
    lines.append('<qresource prefix="/imgs">')
    lines.append('    <file alias="quorix.svg">../../packaging/quorix.svg</file>')
    lines.append('    <file alias="new-logo-quorix-1024_32x32.ico">../../packaging/quorix.svg</file>')
    for folder in THEMES:
        for name in ICONS:
            lines.append(f'    <file alias="{folder}{name}.svg">imgs/{folder}{name}.svg</file>')
        for name in PNG_ALIASES:
            lines.append(f'    <file alias="{folder}{name}.png">imgs/{folder}{name}.svg</file>')
    for name in MENU_ICONS:
        for suffix in (".svg", ".png"):
            lines.append(f'    <file alias="menu/{name}{suffix}">imgs/{name}.svg</file>')
    lines += ['</qresource>', '</RCC>', '']
    with open(os.path.join(RES, "look.qrc"), "w") as f:
        f.write("\n".join(lines))
    write_styles()
    print(f"{len(ICONS)} icons in {len(THEMES)} themes written")


if __name__ == "__main__":
    main()
