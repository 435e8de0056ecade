// view.cpp -- a player's view: camera, far-to-near traversal, per-tile order
// and the lit polygon pipeline that every surface and model face goes through.
//
// There is no depth buffer: the walk order, the order of hollows and objects
// inside a tile, and back-face culling decide what is seen.  Spheres wait for
// the end of the walk and are then drawn last to first, leaving alone what
// later things cover (sphere.cpp): the picture is the same.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "render/pipeline.h"
#include "render/sphere_fill.h"

BITMAP *dpv_view = nullptr;
OBJECT *dpv_object = nullptr;
PLAYER_DATA *dpv_player = nullptr;
MATRIX_f dpv_m;
int dpv_x = 0, dpv_y = 0;
int dpv_zp = 0;
int dpv_wall_lo = INT_MIN, dpv_wall_hi = INT_MAX;

bool view_culling = true;

V3D_f vtx[4] = {
    {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 128, 0}, {0, 0, 0, 128, 128, 0}, {0, 0, 0, 128, 0, 0}};
V3D_f *vtxp[8] = {&vtx[0], &vtx[1], &vtx[2], &vtx[3], &vtx[0], &vtx[1], &vtx[2], nullptr};

// Up to four vertices clipped by six planes give at most ten.
static V3D_f vtxc[10], vtmp[10];
static V3D_f *vtxcp[10], *vtmpp[10];
static int vtxout[10];

static const float NEAR_DEPTH = 0.1f;
static const float FAR_DEPTH = 10.0f;
static const float MOVE_PER_STEP = 1.0f / FRAMES_PER_TILE;
static const float LEVELS_PER_SUBUNIT = 1.0f / SUBUNITS_PER_LEVEL;

// How far a view reaches, with a quarter unit to spare for the rounding of the
// camera transform.  A polygon is filled only when one of its clipped vertices
// is nearer than 10 units, so nothing of a surface 10 or more units away can
// show.  A sphere pixel is at most 10 deep along a ray inside the 90 degree
// view, so up to 10 sqrt 3 away, and it lies in the column of the tile being
// drawn; models, which a placeholder may draw from the next tile, are
// polygons and reach less far.
static const double SURFACE_REACH = 10.25;
static const double OBJECT_REACH = 17.3205081 + 0.25;

// The eye, and how far above or below it the tile being drawn can show a
// surface (less than 0 when it can show none).
static double eye_x, eye_y, eye_z;
static double surface_reach = HUGE_VAL;

// Called between the walk's steps; see draw_player_view().
static void (*dpv_poll)() = nullptr;

static void poll_between_steps()
{
    if (dpv_poll)
        dpv_poll();
}

// The distance from a to the span lo..hi, 0 inside it.
static double gap(double a, double lo, double hi)
{
    return a < lo ? lo - a : a > hi ? a - hi : 0;
}

// Whether heights a..b of the tile being drawn are near enough to show.
static bool levels_in_reach(double a, double b)
{
    return gap(eye_z, a, b) < surface_reach;
}

// An object is drawn within its level, shifted by its offset; a placeholder
// draws the object it stands for.
static bool object_in_reach(const OBJECT *o)
{
    if (!view_culling)
        return true;
    if (o->type == OBJ_PLACEHOLDER && ((const PLACEHOLDER_DATA *)o->data)->owner)
        o = ((const PLACEHOLDER_DATA *)o->data)->owner;
    double shift = abs(o->z_offset) / (double)SUBUNITS_PER_LEVEL;
    return gap(eye_z, o->z - shift, o->z + 1 + shift) < OBJECT_REACH;
}

int fog_light(double d, bool *lit)
{
    int c = 255 - (int)floor(25.5 * d);
    if (lit)
        *lit = c > 0;
    return c <= 0 ? 1 : c;
}

bool faces_away(const V3D_f *a, const V3D_f *b, const V3D_f *c)
{
    float cx = b->y * c->z - b->z * c->y;
    float cy = b->z * c->x - b->x * c->z;
    float cz = b->x * c->y - b->y * c->x;
    return a->x * cx + a->y * cy + a->z * cz > 0;
}

void fill_lit_polygon(int n, V3D_f **in, BITMAP *tex)
{
    for (int i = 0; i < 10; i++) {
        vtxcp[i] = &vtxc[i];
        vtmpp[i] = &vtmp[i];
    }
    int m = clip3d_f(POLYTYPE_PTEX_LIT, NEAR_DEPTH, FAR_DEPTH, n, (const V3D_f **)in, vtxcp, vtmpp,
                     vtxout);
    if (m < 3)
        return;
    bool any_lit = false;
    for (int i = 0; i < m; i++) {
        V3D_f *v = vtxcp[i];
        bool lit;
        v->c = (float)fog_light(sqrt((double)v->x * v->x + (double)v->y * v->y + (double)v->z * v->z), &lit);
        any_lit |= lit;
    }
    if (!any_lit)
        return;  // wholly in the fog: the clear colour already shows it
    for (int i = 0; i < m; i++)
        persp_project_f(vtxcp[i]->x, vtxcp[i]->y, vtxcp[i]->z, &vtxcp[i]->x, &vtxcp[i]->y);
    note_polygon(m, vtxcp);
    polygon3d_f(dpv_view, POLYTYPE_PTEX_LIT, tex, m, vtxcp);
}

void draw_land_polygon(const float (*world)[3], int n, int k, BITMAP *tex)
{
    V3D_f **p = vtxp + k;
    for (int i = 0; i < 3; i++)
        apply_matrix_f(&dpv_m, world[i][0], world[i][1], world[i][2], &p[i]->x, &p[i]->y, &p[i]->z);
    if (faces_away(p[0], p[1], p[2]))
        return;
    if (n == 4)
        apply_matrix_f(&dpv_m, world[3][0], world[3][1], world[3][2], &p[3]->x, &p[3]->y, &p[3]->z);
    fill_lit_polygon(n, p, tex);
}

view_camera camera_of(const OBJECT *o, const PLAYER_DATA *p)
{
    view_camera c;
    c.yaw = facing_angle(p);
    c.pitch = (float)(p->pitch * M_PI / 120);
    c.ex = (float)o->x + 0.5f;
    c.ey = (float)o->y + 0.5f;
    if (o->move_step) {
        float d = (float)o->move_step * MOVE_PER_STEP;
        switch (o->dir) {
        case 0: c.ey -= d; break;
        case 1: c.ex += d; break;
        case 2: c.ey += d; break;
        default: c.ex -= d; break;
        }
    }
    c.ez = (float)o->z + 0.8f - (float)o->z_offset * LEVELS_PER_SUBUNIT;
    return c;
}

static void set_up_camera(const view_camera &c)
{
    float sy = sinf(c.yaw), cy = cosf(c.yaw);
    float sp = sinf(c.pitch), cp = cosf(c.pitch);
    MATRIX_f &m = dpv_m;
    m.v[0][0] = cy;       m.v[0][1] = sy;       m.v[0][2] = 0;
    m.v[1][0] = -sy * sp; m.v[1][1] = cy * sp;  m.v[1][2] = -cp;
    m.v[2][0] = sy * cp;  m.v[2][1] = -cy * cp; m.v[2][2] = -sp;
    for (int r = 0; r < 3; r++)
        m.t[r] = -(m.v[r][0] * c.ex + m.v[r][1] * c.ey + m.v[r][2] * c.ez);
}

static void dpv_draw_object(OBJECT *o)
{
    // Lists run bottom-up: those at or above the eye's level go top-down,
    // so that the ones nearest the viewer's level come last.
    if (o->z >= dpv_zp && o->next)
        dpv_draw_object(o->next);
    draw_fn draw = draw_object[o->type];
    if (draw && object_in_reach(o))
        draw(o);
    if (o->z < dpv_zp && o->next)
        dpv_draw_object(o->next);
}

// The floor, the objects standing on it, then the wedge under a slope.
static void draw_hollow_contents(HOLLOW *h)
{
    // A floor and the wedge under it fill the hollow's lowest level.
    bool floor_near = levels_in_reach(h->floor, h->floor + 1);
    if (floor_near)
        dpv_draw_floor(h);
    if (h->object)
        dpv_draw_object(h->object);
    if (floor_near)
        dpv_draw_slope_walls(h);
}

static void dpv_draw_hollow(HOLLOW *h)
{
    if (h->roof > dpv_zp) {
        if (h->next)
            dpv_draw_hollow(h->next);
        if (levels_in_reach(h->roof, h->roof))
            dpv_draw_roof(h);
        draw_hollow_contents(h);
    } else {
        draw_hollow_contents(h);
        if (h->next)
            dpv_draw_hollow(h->next);
    }
}

static void dpv_draw_tile()
{
    HOLLOW *h = land->tile[dpv_y][dpv_x].hollow;
    if (h)
        dpv_draw_hollow(h);
}

// Moves the cursor to tile (x, y) and works out which of its levels can show
// a surface: those whose distance from the eye, across the tile's column and
// up or down, is within reach.
static void aim_at(int x, int y)
{
    dpv_x = x;
    dpv_y = y;
    if (!view_culling)
        return;
    double dx = gap(eye_x, x, x + 1), dy = gap(eye_y, y, y + 1);
    double left = SURFACE_REACH * SURFACE_REACH - (dx * dx + dy * dy);
    if (left <= 0) {
        surface_reach = -1;
        dpv_wall_lo = 1;
        dpv_wall_hi = 0;
        return;
    }
    surface_reach = sqrt(left);
    // Wall level z spans heights z..z+1.
    dpv_wall_lo = (int)floor(eye_z - surface_reach);
    dpv_wall_hi = (int)ceil(eye_z + surface_reach) - 1;
}

// Every level of every tile, as for a walk without culling and for whoever
// draws walls outside the walk.
static void reach_everything()
{
    surface_reach = HUGE_VAL;
    dpv_wall_lo = INT_MIN;
    dpv_wall_hi = INT_MAX;
}

// The columns lo..hi of row y that can show anything; empty when lo > hi.
struct column_span {
    int lo, hi;
};

static column_span row_in_reach(int y, int w)
{
    if (!view_culling)
        return {0, w - 1};
    double dy = gap(eye_y, y, y + 1);
    if (dy >= OBJECT_REACH)
        return {0, -1};
    double half = sqrt(OBJECT_REACH * OBJECT_REACH - dy * dy);
    return {std::max(0, (int)floor(eye_x - half)), std::min(w - 1, (int)ceil(eye_x + half) - 1)};
}

typedef void (*tile_step)();

// One ● step of the walk: poll, then the given calls for tile (x, y).
static void visit(int x, int y, tile_step a, tile_step b)
{
    poll_between_steps();
    aim_at(x, y);
    if (surface_reach >= 0) {
        a();
        b();
    }
    dpv_draw_tile();
}

static void at(int x, int y, tile_step f)
{
    aim_at(x, y);
    if (surface_reach >= 0)
        f();
}

void mark_view_point(float x, float y, float z, float size)
{
    float cx, cy, cz;
    apply_matrix_f(&dpv_m, x, y, z, &cx, &cy, &cz);
    if (cz < NEAR_DEPTH)
        return;
    float sx, sy;
    persp_project_f(cx, cy, cz, &sx, &sy);
    circlefill(dpv_view, (int)sx, (int)sy, (int)(size / cz), makecol(255, 255, 255));
}

// One row off the camera row: left of the camera column towards it, then
// right of it towards it; near_wall is the row's side facing the camera.
static void walk_row(int y, int px, int w, tile_step near_wall)
{
    column_span s = row_in_reach(y, w);
    if (s.lo > s.hi)
        return;
    for (int x = s.lo; x < std::min(px, s.hi + 1); x++)
        visit(x, y, near_wall, dpv_draw_lwall);
    at(px, y, dpv_draw_lwall);
    for (int x = s.hi; x >= std::max(px, s.lo); x--)
        visit(x, y, dpv_draw_rwall, near_wall);
}

void draw_player_view(BITMAP *view, OBJECT *viewer, void (*poll)())
{
    dpv_object = viewer;
    dpv_player = (PLAYER_DATA *)dpv_object->data;
    dpv_view = view;
    dpv_poll = poll;
    set_projection_viewport(0, 0, dpv_view->w, dpv_view->h);
    clear_to_color(dpv_view, land->fog_colour);
    view_camera cam = camera_of(dpv_object, dpv_player);
    set_up_camera(cam);
    eye_x = cam.ex;
    eye_y = cam.ey;
    eye_z = cam.ez;

    const OBJECT *o = dpv_object;
    int px = o->x, py = o->y;
    if (o->move_step >= 15) {
        px += dir_dx[o->dir & 3];
        py += dir_dy[o->dir & 3];
    }
    int w = land->w, h = land->h;
    if (w <= 0 || h <= 0)
        return;  // nothing but fog
    px = px < 0 ? 0 : px >= w ? w - 1 : px;
    py = py < 0 ? 0 : py >= h ? h - 1 : py;
    dpv_zp = o->z;
    // Past four fifths of the way down the eye counts as the level below;
    // a fifth of the way up, as the level above.
    if (o->z_offset > SUBUNITS_PER_LEVEL * 4 / 5)
        dpv_zp = o->z - 1;
    else if (o->z_offset <= -SUBUNITS_PER_LEVEL / 5)
        dpv_zp = o->z + 1;

    // Rows behind the camera row, then the camera row's far walls, then the
    // rows from the far side back to the camera row: each wall is offered only
    // from the side the camera is on, and the camera tile comes last.  Tiles
    // out of reach would draw nothing and are passed over.
    reach_everything();
    start_waiting_spheres(dpv_view);
    for (int y = 0; y < py; y++)
        walk_row(y, px, w, dpv_draw_twall);
    column_span cs = row_in_reach(py, w);
    for (int x = cs.lo; x < std::min(px, cs.hi + 1); x++) {
        poll_between_steps();
        at(x, py, dpv_draw_twall);
    }
    for (int x = cs.hi; x >= std::max(px, cs.lo); x--) {
        poll_between_steps();
        at(x, py, dpv_draw_twall);
    }
    for (int y = h - 1; y >= py; y--)
        walk_row(y, px, w, dpv_draw_bwall);
    draw_waiting_spheres();
    reach_everything();
}
