// model.cpp -- polygon models and the two built-in octahedra.
#include <cmath>

#include "render/pipeline.h"

namespace {

enum { MAX_MODEL_VERTICES = 512 };

BITMAP *model_texture[N_MODEL_TEXTURES];

float trans_vtx[MAX_MODEL_VERTICES][3];
V3D_f obj_vtx[4];
V3D_f *obj_vtxp[4] = {&obj_vtx[0], &obj_vtx[1], &obj_vtx[2], &obj_vtx[3]};

// A double pyramid standing on its lower tip, one unit tall and across.
MODEL_VERTEX vtx_diamond[6] = {
    {0, 0, 0}, {0, -0.5f, 0.5f}, {-0.5f, 0, 0.5f}, {0, 0.5f, 0.5f}, {0.5f, 0, 0.5f}, {0, 0, 1},
};

// Every vertex keeps one texture corner: the tips at the middles of the top
// and bottom edges, the x-1 and x+1 corners at the sides, the others at the centre.
const float corner_uv[6][2] = {{64, 128}, {64, 64}, {0, 64}, {64, 64}, {128, 64}, {64, 0}};
const int triangles[8][3] = {
    {0, 1, 4}, {0, 4, 3}, {0, 3, 2}, {0, 2, 1}, {5, 1, 2}, {5, 2, 3}, {5, 3, 4}, {5, 4, 1},
};

struct octahedron_surfaces {
    SURFACE s[8];
    explicit octahedron_surfaces(int texture)
    {
        for (int i = 0; i < 8; i++) {
            for (int c = 0; c < 3; c++) {
                int v = triangles[i][c];
                s[i].corner[c] = {v, corner_uv[v][0], corner_uv[v][1]};
            }
            s[i].corner[3] = {-1, 0, 0};
            s[i].texture = texture;
        }
    }
};

octahedron_surfaces surf_diamond(MODEL_TEX_DIAMOND);
octahedron_surfaces surf_earthydiamond(MODEL_TEX_PLAYER);

void fill_corner(V3D_f *v, const SURFACE_CORNER &c)
{
    v->x = trans_vtx[c.vertex][0];
    v->y = trans_vtx[c.vertex][1];
    v->z = trans_vtx[c.vertex][2];
    v->u = c.u;
    v->v = c.v;
}

} // namespace

void set_model_textures(BITMAP *diamond, BITMAP *player)
{
    model_texture[MODEL_TEX_DIAMOND] = diamond;
    model_texture[MODEL_TEX_PLAYER] = player;
}

MODEL model_diamond = {6, vtx_diamond, 8, surf_diamond.s};
MODEL model_player = {6, vtx_diamond, 8, surf_earthydiamond.s};

void draw_model(MODEL *model, float x, float y, float z, float angle)
{
    float ca = cosf(angle), sa = sinf(angle);
    MATRIX_f place;
    place.v[0][0] = ca; place.v[0][1] = -sa; place.v[0][2] = 0;
    place.v[1][0] = sa; place.v[1][1] = ca;  place.v[1][2] = 0;
    place.v[2][0] = 0;  place.v[2][1] = 0;   place.v[2][2] = 1;
    place.t[0] = x;
    place.t[1] = y;
    place.t[2] = z;
    // One matrix from model space straight to camera space.
    MATRIX_f m;
    matrix_mul_f(&place, &dpv_m, &m);
    for (int i = 0; i < model->n_vertices; i++) {
        const MODEL_VERTEX &v = model->vertices[i];
        apply_matrix_f(&m, v.x, v.y, v.z, &trans_vtx[i][0], &trans_vtx[i][1], &trans_vtx[i][2]);
    }
    for (int i = 0; i < model->n_surfaces; i++) {
        const SURFACE &s = model->surfaces[i];
        for (int c = 0; c < 3; c++)
            fill_corner(&obj_vtx[c], s.corner[c]);
        if (faces_away(&obj_vtx[0], &obj_vtx[1], &obj_vtx[2]))
            continue;
        int n = 3;
        if (s.corner[3].vertex != -1) {
            fill_corner(&obj_vtx[3], s.corner[3]);
            n = 4;
        }
        fill_lit_polygon(n, obj_vtxp, model_texture[s.texture]);
    }
}
