// sphere_fill.cpp -- draw_sphere's pixels four rows at a time.
//
// Every pixel must come out as the reference loop in sphere.cpp draws it, to
// the bit, so each lane does the reference's operations in the reference's
// order and precision: single precision for the ray, double for the light and
// the texel (or single where that provably gives the same whole numbers).
// Rays are stepped along a row by addition, each from its left neighbour, so
// the lanes are four rows, not four columns: they share the column step.  The
// floors of non-negative numbers are truncations.  Nothing here may be built
// with -ffast-math or with fused multiply-adds (-mfma): a contracted a * b + c
// rounds once where the reference rounds twice.
#include <algorithm>
#include <cmath>

#include "render/sphere_fill.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__FAST_MATH__)
#error "the sphere fills must round as the reference does: build without -ffast-math"
#endif

namespace {

#if defined(__GNUC__)
#define LANE_INLINE inline __attribute__((always_inline))
#else
#define LANE_INLINE inline
#endif

// Cube face coordinates scale; the same double as the reference's.
const double K = 63.5 * 1.414213562;

// ---- plain lanes, for any machine ------------------------------------------

struct pf {
    float v[4];
};
struct pm {
    bool v[4];
};

#define LANEWISE(expr)              \
    do {                            \
        for (int k = 0; k < 4; k++) \
            expr;                   \
    } while (0)

inline pf splat(pf, float x) { return {{x, x, x, x}}; }
inline pf lanes(pf, const float *x) { return {{x[0], x[1], x[2], x[3]}}; }
inline pf add(pf a, pf b) { pf c; LANEWISE(c.v[k] = a.v[k] + b.v[k]); return c; }
inline pf sub(pf a, pf b) { pf c; LANEWISE(c.v[k] = a.v[k] - b.v[k]); return c; }
inline pf mul(pf a, pf b) { pf c; LANEWISE(c.v[k] = a.v[k] * b.v[k]); return c; }
inline pf div(pf a, pf b) { pf c; LANEWISE(c.v[k] = a.v[k] / b.v[k]); return c; }
inline pf root(pf a) { pf c; LANEWISE(c.v[k] = sqrtf(a.v[k])); return c; }
inline pf neg(pf a) { pf c; LANEWISE(c.v[k] = -a.v[k]); return c; }
inline pf magnitude(pf a) { pf c; LANEWISE(c.v[k] = fabsf(a.v[k])); return c; }
inline pm lt(pf a, pf b) { pm c; LANEWISE(c.v[k] = a.v[k] < b.v[k]); return c; }
inline pm ge(pf a, pf b) { pm c; LANEWISE(c.v[k] = a.v[k] >= b.v[k]); return c; }
inline pm operator|(pm a, pm b) { pm c; LANEWISE(c.v[k] = a.v[k] || b.v[k]); return c; }
inline pm operator&(pm a, pm b) { pm c; LANEWISE(c.v[k] = a.v[k] && b.v[k]); return c; }
inline pm andnot(pm a, pm b) { pm c; LANEWISE(c.v[k] = !a.v[k] && b.v[k]); return c; }
inline pf select(pm m, pf a, pf b) { pf c; LANEWISE(c.v[k] = m.v[k] ? a.v[k] : b.v[k]); return c; }
inline int bits(pm m) { return m.v[0] | m.v[1] << 1 | m.v[2] << 2 | m.v[3] << 3; }
inline pm from_bits(pf, int b) { pm c; LANEWISE(c.v[k] = b >> k & 1); return c; }

// For each of the columns i..i+3, the rows whose owner is later than order.
LANE_INLINE void later_owners(pf, unsigned short *const *own, int i, unsigned order, int *later)
{
    for (int c = 0; c < 4; c++) {
        later[c] = 0;
        for (int k = 0; k < 4; k++)
            later[c] |= (own[k][i + c] > order) << k;
    }
}

// The first and last of columns i0..i1-1 where any of rows own[0..n-1] has
// an owner no later than order; false when there is none.
LANE_INLINE bool open_columns(pf, unsigned short *const *own, int n, int i0, int i1, unsigned order, int &first,
                              int &last)
{
    first = i1;
    last = i0 - 1;
    for (int k = 0; k < n; k++) {
        for (int i = i0; i < first; i++)
            if (own[k][i] <= order) {
                first = i;
                break;
            }
        for (int i = i1 - 1; i > last; i--)
            if (own[k][i] <= order) {
                last = i;
                break;
            }
    }
    return first <= last;
}

// Colour map offsets (the light, at least 1, times 256) and texel coordinates
// of four pixels, in double as the reference has them; lanes not kept get
// offsets that are safe to read.
LANE_INLINE void light_and_texel(pf t, pf a, pf cu, pf cv, int keep, int *light, int *col, int *row)
{
    for (int k = 0; k < 4; k++) {
        if (!(keep >> k & 1)) {
            light[k] = col[k] = row[k] = 0;
            continue;
        }
        int l = 255 - (int)(25.5 * (double)t.v[k] * sqrt((double)a.v[k]));
        light[k] = (l <= 0 ? 1 : l) << 8;
        col[k] = (int)(64 + K * (double)cu.v[k]);
        row[k] = (int)(64 + K * (double)cv.v[k]);
    }
}

#undef LANEWISE

// ---- SSE2 lanes ---------------------------------------------------------------

#if defined(__SSE2__)

struct sf {
    __m128 v;
};
struct sm {
    __m128 v;
};

inline sf splat(sf, float x) { return {_mm_set1_ps(x)}; }
inline sf lanes(sf, const float *x) { return {_mm_loadu_ps(x)}; }
inline sf add(sf a, sf b) { return {_mm_add_ps(a.v, b.v)}; }
inline sf sub(sf a, sf b) { return {_mm_sub_ps(a.v, b.v)}; }
inline sf mul(sf a, sf b) { return {_mm_mul_ps(a.v, b.v)}; }
inline sf div(sf a, sf b) { return {_mm_div_ps(a.v, b.v)}; }
inline sf root(sf a) { return {_mm_sqrt_ps(a.v)}; }
inline sf neg(sf a) { return {_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))}; }
inline sf magnitude(sf a) { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }
inline sm lt(sf a, sf b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline sm ge(sf a, sf b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline sm operator|(sm a, sm b) { return {_mm_or_ps(a.v, b.v)}; }
inline sm operator&(sm a, sm b) { return {_mm_and_ps(a.v, b.v)}; }
inline sm andnot(sm a, sm b) { return {_mm_andnot_ps(a.v, b.v)}; }
inline sf select(sm m, sf a, sf b) { return {_mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v))}; }
inline int bits(sm m) { return _mm_movemask_ps(m.v); }

inline sm from_bits(sf, int b)
{
    const __m128i lane = _mm_set_epi32(8, 4, 2, 1);
    return {_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(b), lane), lane))};
}

LANE_INLINE __m128 later_in_row(const unsigned short *own, __m128i order)
{
    __m128i o = _mm_unpacklo_epi16(_mm_loadl_epi64((const __m128i *)own), _mm_setzero_si128());
    return _mm_castsi128_ps(_mm_cmpgt_epi32(o, order));
}

LANE_INLINE void later_owners(sf, unsigned short *const *own, int i, unsigned order, int *later)
{
    const __m128i o = _mm_set1_epi32((int)order);
    __m128 r0 = later_in_row(own[0] + i, o), r1 = later_in_row(own[1] + i, o);
    __m128 r2 = later_in_row(own[2] + i, o), r3 = later_in_row(own[3] + i, o);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    later[0] = _mm_movemask_ps(r0);
    later[1] = _mm_movemask_ps(r1);
    later[2] = _mm_movemask_ps(r2);
    later[3] = _mm_movemask_ps(r3);
}

// Eight owners at a time, an unsigned subtraction that stops at 0 telling
// the ones no later than order.  A row has room for seven more columns.
LANE_INLINE int open_in_eight(const unsigned short *own, __m128i order, int count)
{
    __m128i o = _mm_loadu_si128((const __m128i *)own);
    int m = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(o, order), _mm_setzero_si128()));
    return count < 8 ? m & ((1 << 2 * count) - 1) : m;
}

LANE_INLINE bool open_columns(sf, unsigned short *const *own, int n, int i0, int i1, unsigned order, int &first,
                              int &last)
{
    const __m128i o = _mm_set1_epi16((short)order);
    first = i1;
    last = i0 - 1;
    for (int k = 0; k < n; k++) {
        for (int i = i0; i < first; i += 8)
            if (int m = open_in_eight(own[k] + i, o, i1 - i)) {
                first = std::min(first, i + __builtin_ctz(m) / 2);
                break;
            }
        for (int i = i0 + (i1 - 1 - i0) / 8 * 8; i + 7 > last; i -= 8)
            if (int m = open_in_eight(own[k] + i, o, i1 - i)) {
                last = std::max(last, i + (31 - __builtin_clz(m)) / 2);
                break;
            }
    }
    return first <= last;
}

// The light as 255 - floor(25.5 t sqrt a) and the texel coordinates as
// 64 + K c, truncated.  In single precision their error stays below 2^-14
// for values under 256, so the floors agree with the double ones unless a
// value lies within 2^-12 of a whole number; lights from 256 on are clamped
// to 1 anyway.  Groups with a lane that near go the double way.
LANE_INLINE void light_and_texel(sf t, sf a, sf cu, sf cv, int keep, int *light, int *col, int *row)
{
    const __m128 low = _mm_set1_ps(1.0f / 4096), high = _mm_set1_ps(1 - 1.0f / 4096);
    const __m128 kk = _mm_set1_ps((float)K), k64 = _mm_set1_ps(64);
    __m128 p = _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(25.5f), t.v), _mm_sqrt_ps(a.v));
    __m128 u = _mm_add_ps(k64, _mm_mul_ps(kk, cu.v));
    __m128 v = _mm_add_ps(k64, _mm_mul_ps(kk, cv.v));
    __m128i pi = _mm_cvttps_epi32(p), ui = _mm_cvttps_epi32(u), vi = _mm_cvttps_epi32(v);
    __m128 pf = _mm_sub_ps(p, _mm_cvtepi32_ps(pi));
    __m128 uf = _mm_sub_ps(u, _mm_cvtepi32_ps(ui));
    __m128 vf = _mm_sub_ps(v, _mm_cvtepi32_ps(vi));
    __m128 sure = _mm_or_ps(_mm_and_ps(_mm_cmpge_ps(pf, low), _mm_cmple_ps(pf, high)),
                            _mm_cmpge_ps(p, _mm_set1_ps(256)));
    sure = _mm_and_ps(sure, _mm_and_ps(_mm_cmpge_ps(uf, low), _mm_cmple_ps(uf, high)));
    sure = _mm_and_ps(sure, _mm_and_ps(_mm_cmpge_ps(vf, low), _mm_cmple_ps(vf, high)));
    __m128i kept = _mm_castps_si128(from_bits(sf{}, keep).v);
    if (_mm_movemask_ps(_mm_andnot_ps(sure, _mm_castsi128_ps(kept)))) {
        const __m128d k255 = _mm_set1_pd(25.5), kd = _mm_set1_pd(K), k64d = _mm_set1_pd(64);
        __m128d tl = _mm_cvtps_pd(t.v), th = _mm_cvtps_pd(_mm_movehl_ps(t.v, t.v));
        __m128d al = _mm_cvtps_pd(a.v), ah = _mm_cvtps_pd(_mm_movehl_ps(a.v, a.v));
        pi = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_mul_pd(_mm_mul_pd(k255, tl), _mm_sqrt_pd(al))),
                                _mm_cvttpd_epi32(_mm_mul_pd(_mm_mul_pd(k255, th), _mm_sqrt_pd(ah))));
        __m128d ul = _mm_cvtps_pd(cu.v), uh = _mm_cvtps_pd(_mm_movehl_ps(cu.v, cu.v));
        ui = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(k64d, _mm_mul_pd(kd, ul))),
                                _mm_cvttpd_epi32(_mm_add_pd(k64d, _mm_mul_pd(kd, uh))));
        __m128d vl = _mm_cvtps_pd(cv.v), vh = _mm_cvtps_pd(_mm_movehl_ps(cv.v, cv.v));
        vi = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(k64d, _mm_mul_pd(kd, vl))),
                                _mm_cvttpd_epi32(_mm_add_pd(k64d, _mm_mul_pd(kd, vh))));
    }
    // At least 1; lanes not kept read entry 0.
    __m128i l = _mm_sub_epi32(_mm_set1_epi32(255), pi);
    __m128i dark = _mm_cmpgt_epi32(_mm_set1_epi32(1), l);
    l = _mm_or_si128(_mm_andnot_si128(dark, l), _mm_and_si128(dark, _mm_set1_epi32(1)));
    _mm_storeu_si128((__m128i *)light, _mm_and_si128(kept, _mm_slli_epi32(l, 8)));
    _mm_storeu_si128((__m128i *)col, _mm_and_si128(kept, ui));
    _mm_storeu_si128((__m128i *)row, _mm_and_si128(kept, vi));
}

#endif

// ---- the fill -------------------------------------------------------------------

template <class F, bool OWNED>
void fill_sphere(const SPHERE_RAYS &s)
{
    const F z = {}, zero = splat(z, 0), tenth = splat(z, 0.1f), ten = splat(z, 10);
    const F qx = splat(z, s.q[0]), qy = splat(z, s.q[1]), qz = splat(z, s.q[2]), qq = splat(z, s.qq);
    const F r = splat(z, s.r);
    // Dividing by a power of two is multiplying by its reciprocal, exactly.
    int e;
    const bool r_binary = s.r > 0 && frexpf(s.r, &e) == 0.5f && std::isnormal(1 / s.r);
    const F inv_r = splat(z, 1 / s.r);
    const F bx0 = splat(z, s.bx0), bx1 = splat(z, s.bx1), by0 = splat(z, s.by0), by1 = splat(z, s.by1);
    const F six = splat(z, s.step_i[0]), siy = splat(z, s.step_i[1]), siz = splat(z, s.step_i[2]);
    unsigned char *const *tex = s.tex->line;
    const unsigned char *map = &s.map->data[0][0];

    float row[3] = {s.first[0], s.first[1], s.first[2]};
    for (int j = s.j0; j < s.j1; j += 4) {
        // The first rays of rows j..j+3, stepped down one after another; rows
        // past the end repeat the last and are left unwritten.
        int n = s.j1 - j < 4 ? s.j1 - j : 4;
        float rx[4], ry[4], rz[4];
        unsigned char *line[4];
        unsigned short *own[4];
        for (int k = 0; k < 4; k++) {
            rx[k] = row[0];
            ry[k] = row[1];
            rz[k] = row[2];
            line[k] = s.view->line[j + (k < n ? k : 0)];
            if (OWNED)
                own[k] = s.owner[j + (k < n ? k : 0)];
            if (k < n) {
                row[0] = row[0] + s.step_j[0];
                row[1] = row[1] + s.step_j[1];
                row[2] = row[2] + s.step_j[2];
            }
        }
        const int rows = (1 << n) - 1;
        F dx = lanes(z, rx), dy = lanes(z, ry), dz = lanes(z, rz);
        int later[4] = {0, 0, 0, 0};
        // Rows wholly covered by later things are passed over, and a row's
        // run ends at its last open column; the steps up to its first open
        // block still have to be taken, one by one.
        int i = s.i0, end = s.i1;
        if (OWNED) {
            int first, last;
            if (!open_columns(z, own, n, s.i0, s.i1, s.order, first, last))
                continue;
            end = last + 1;
            for (; i < s.i0 + (first - s.i0) / 4 * 4; i++)
                dx = add(dx, six), dy = add(dy, siy), dz = add(dz, siz);
        }
        for (; i < end; i++, dx = add(dx, six), dy = add(dy, siy), dz = add(dz, siz)) {
            // Owners four columns at a time; the steps of columns that later
            // things cover still have to be taken, one by one.
            if (OWNED && (i - s.i0) % 4 == 0) {
                later_owners(z, own, i, s.order, later);
                int left = end - i;
                int hidden = later[0] & (left > 1 ? later[1] : rows) & (left > 2 ? later[2] : rows) &
                             (left > 3 ? later[3] : rows);
                if ((hidden & rows) == rows) {
                    for (int c = 1; c < 4 && i + 1 < end; c++, i++)
                        dx = add(dx, six), dy = add(dy, siy), dz = add(dz, siz);
                    continue;
                }
            }
            int live = OWNED ? rows & ~later[(i - s.i0) % 4] : rows;
            if (!live)
                continue;
            F a = add(add(mul(dx, dx), mul(dy, dy)), mul(dz, dz));
            F b = add(add(mul(dx, qx), mul(dy, qy)), mul(dz, qz));
            F disc = sub(mul(b, b), mul(a, qq));
            auto keep = andnot(lt(disc, zero), from_bits(z, live));
            if (!bits(keep))
                continue;
            F t = div(sub(b, root(disc)), a);
            keep = andnot(lt(t, tenth) | lt(ten, t), keep);
            F hx = sub(mul(t, dx), qx), hy = sub(mul(t, dy), qy), hz = sub(mul(t, dz), qz);
            keep = andnot(lt(hx, bx0) | lt(bx1, hx) | lt(hy, by0) | lt(by1, hy), keep);
            int m = bits(keep);
            if (!m)
                continue;

            // The cube face: top and bottom before the sides, y sides before
            // x sides, x plus when n.x is 0.  A minus sign on the chosen
            // coordinate stands for the reference's 64 - K n.
            F nx, ny, nz;
            if (r_binary) {
                nx = mul(hx, inv_r), ny = mul(hy, inv_r), nz = mul(hz, inv_r);
            } else {
                nx = div(hx, r), ny = div(hy, r), nz = div(hz, r);
            }
            F ax = magnitude(nx), ay = magnitude(ny), mnz = neg(nz), mny = neg(ny);
            auto top = ge(nz, ax) & ge(nz, ay);
            auto bottom = ge(mnz, ax) & ge(mnz, ay);
            auto y_plus = ge(ny, ax);
            auto y_minus = ge(mny, ax);
            auto x_plus = ge(nx, zero);
            F cu = select(top | bottom | y_plus, nx, select(y_minus, neg(nx), select(x_plus, mny, ny)));
            F cv = select(top, ny, select(bottom, mny, mnz));

            int light[4], col[4], tr[4];
            light_and_texel(t, a, cu, cv, m, light, col, tr);
            unsigned char c[4];
            for (int k = 0; k < 4; k++)
                c[k] = map[light[k] + tex[tr[k]][col[k]]];
            if (m == 15) {
                for (int k = 0; k < 4; k++) {
                    line[k][i] = c[k];
                    if (OWNED)
                        own[k][i] = (unsigned short)s.order;
                }
            } else {
                for (int k = 0; k < 4; k++)
                    if (m >> k & 1) {
                        line[k][i] = c[k];
                        if (OWNED)
                            own[k][i] = (unsigned short)s.order;
                    }
            }
        }
    }
}

} // namespace

void fill_sphere_portable(const SPHERE_RAYS &s)
{
    if (s.owner)
        fill_sphere<pf, true>(s);
    else
        fill_sphere<pf, false>(s);
}

void fill_sphere_sse2(const SPHERE_RAYS &s)
{
#if defined(__SSE2__)
    if (s.owner)
        fill_sphere<sf, true>(s);
    else
        fill_sphere<sf, false>(s);
#else
    fill_sphere_portable(s);
#endif
}
