// Object lists: the per-step walk with its cursor, re-filing after moves, and
// destruction.  The walk is driven by test handlers installed in the
// animate_object table, which edit the lists the way the movement rules do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "headless.h"
#include "land_builder.h"

namespace {

// What a handler saw when it was called.
struct step_record {
    OBJECT *object;
    HOLLOW *hollow;
    OBJECT **link;
    OBJECT **prev;
    OBJECT **before_prev;
    OBJECT **two_before_prev;
};

std::vector<step_record> steps;
std::vector<void *> released;  // type records passed to destroy_object_data, in order

void note_step()
{
    steps.push_back({*ao_object, ao_hollow, ao_object, ao_prev_object, ao_before_prev_object,
                     ao_two_before_prev_object});
}

int record_step()
{
    note_step();
    return 1;
}

void release_data(void *data)
{
    released.push_back(data);
    free(data);
}

// Points ao_object at link and rebuilds the three earlier links from the
// hollow's head, as a handler must after changing the list below it.
void repair_cursor(OBJECT **link)
{
    ao_object = link;
    ao_prev_object = ao_before_prev_object = ao_two_before_prev_object = nullptr;
    for (OBJECT **l = &ao_hollow->object; l != link; l = &(*l)->next) {
        ao_two_before_prev_object = ao_before_prev_object;
        ao_before_prev_object = ao_prev_object;
        ao_prev_object = l;
    }
}

std::vector<OBJECT *> list_of(const HOLLOW *h)
{
    std::vector<OBJECT *> v;
    for (OBJECT *o = h->object; o; o = o->next)
        v.push_back(o);
    return v;
}

// The link that holds entry i of h's list.
OBJECT **link_at(HOLLOW *h, int i)
{
    OBJECT **l = &h->object;
    while (i-- > 0)
        l = &(*l)->next;
    return l;
}

OBJECT *add_placeholder(HOLLOW *h, OBJECT *owner, int kind, int x, int y, int z)
{
    OBJECT *p = add_object(h, OBJ_PLACEHOLDER, x, y, z);
    PLACEHOLDER_DATA *d = (PLACEHOLDER_DATA *)p->data;
    d->kind = kind;
    d->owner = owner;
    return p;
}

std::vector<OBJECT *> stepped_objects()
{
    std::vector<OBJECT *> v;
    for (const step_record &s : steps)
        v.push_back(s.object);
    return v;
}

class ObjectLists : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_headless_allegro();
        std::copy(animate_object, animate_object + N_OBJECT_TYPES, saved_animate);
        std::copy(destroy_object_data, destroy_object_data + N_OBJECT_TYPES, saved_destroy);
        std::fill(animate_object, animate_object + N_OBJECT_TYPES, nullptr);
        std::fill(destroy_object_data, destroy_object_data + N_OBJECT_TYPES, release_data);
        steps.clear();
        released.clear();
    }

    void TearDown() override
    {
        destroy_land(land);
        land = nullptr;
        std::copy(saved_animate, saved_animate + N_OBJECT_TYPES, animate_object);
        std::copy(saved_destroy, saved_destroy + N_OBJECT_TYPES, destroy_object_data);
    }

    LAND *use_land(int w, int h)
    {
        destroy_land(land);
        land = make_solid_land(w, h);
        return land;
    }

    void record_all_but_placeholders()
    {
        animate_object[OBJ_PLAYER] = record_step;
        animate_object[OBJ_DIAMOND] = record_step;
        animate_object[OBJ_ROCK] = record_step;
    }

    // Every object sits in a hollow of its own tile that holds its level,
    // and every list ascends in z.
    void expect_filed()
    {
        for (int y = 0; y < land->h; y++)
            for (int x = 0; x < land->w; x++)
                for (HOLLOW *h = land->tile[y][x].hollow; h; h = h->next) {
                    int last_z = -1000;
                    for (OBJECT *o = h->object; o; o = o->next) {
                        EXPECT_EQ(o->x, x);
                        EXPECT_EQ(o->y, y);
                        EXPECT_EQ(find_hollow(&land->tile[y][x], o->z), h);
                        EXPECT_GE(o->z, last_z) << "list of tile " << x << "," << y;
                        last_z = o->z;
                    }
                }
    }

    animate_fn saved_animate[N_OBJECT_TYPES];
    void (*saved_destroy[N_OBJECT_TYPES])(void *);
};

using AnimateObjects = ObjectLists;
using SortObjects = ObjectLists;
using DestroyObjects = ObjectLists;

} // namespace

TEST_F(AnimateObjects, WalksRowsThenColumnsHollowsBottomUpListsInOrder)
{
    use_land(3, 2);
    // Tiles (0,0) and (1,1) stay solid; (1,0) has an empty hollow on top.
    HOLLOW *f = add_hollow(land, 2, 1, 1, 3);
    HOLLOW *d = add_hollow(land, 0, 1, 0, 3);
    HOLLOW *e = add_hollow(land, 0, 1, 4, 7);
    HOLLOW *c = add_hollow(land, 2, 0, 2, 5);
    HOLLOW *a = add_hollow(land, 1, 0, 0, 4);
    add_hollow(land, 1, 0, 6, 9);

    OBJECT *f0 = add_object(f, OBJ_PLAYER, 2, 1, 1);
    OBJECT *e0 = add_object(e, OBJ_DIAMOND, 0, 1, 4);
    OBJECT *e1 = add_object(e, OBJ_ROCK, 0, 1, 5);
    OBJECT *d0 = add_object(d, OBJ_ROCK, 0, 1, 1);
    OBJECT *c0 = add_object(c, OBJ_ROCK, 2, 0, 2);
    OBJECT *a0 = add_object(a, OBJ_ROCK, 1, 0, 0);
    add_placeholder(a, a0, 0, 1, 0, 1);
    OBJECT *a2 = add_object(a, OBJ_DIAMOND, 1, 0, 1);
    OBJECT *a3 = add_object(a, OBJ_PLAYER, 1, 0, 2);

    record_all_but_placeholders();
    animate_objects(PLAYER_ACTIONS{});

    // The placeholder is passed over without a call.
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{a0, a2, a3, c0, d0, e0, e1, f0}));

    // The cursor: the link holding the object and those holding the ones
    // below it, placeholders included, never reaching into another hollow.
    struct where {
        HOLLOW *h;
        int index;
    };
    const where at[] = {{a, 0}, {a, 2}, {a, 3}, {c, 0}, {d, 0}, {e, 0}, {e, 1}, {f, 0}};
    for (size_t i = 0; i < steps.size(); i++) {
        const step_record &s = steps[i];
        HOLLOW *h = at[i].h;
        int k = at[i].index;
        SCOPED_TRACE(testing::Message() << "step " << i);
        EXPECT_EQ(s.hollow, h);
        EXPECT_EQ(s.link, link_at(h, k));
        EXPECT_EQ(s.prev, k >= 1 ? link_at(h, k - 1) : nullptr);
        EXPECT_EQ(s.before_prev, k >= 2 ? link_at(h, k - 2) : nullptr);
        EXPECT_EQ(s.two_before_prev, k >= 3 ? link_at(h, k - 3) : nullptr);
    }

    // Every call steps every object once more.
    steps.clear();
    animate_objects(PLAYER_ACTIONS{});
    animate_objects(PLAYER_ACTIONS{});
    std::map<OBJECT *, int> count;
    for (OBJECT *o : stepped_objects())
        count[o]++;
    EXPECT_EQ(count.size(), 8u);
    for (auto &c_n : count)
        EXPECT_EQ(c_n.second, 2);
}

TEST_F(AnimateObjects, EmptyHollowsSolidTilesAndPlaceholdersCallNothing)
{
    use_land(0, 0);
    record_all_but_placeholders();
    animate_objects(PLAYER_ACTIONS{});

    use_land(2, 2);
    add_hollow(land, 1, 0, 0, 3);
    add_hollow(land, 1, 0, 5, 6);
    HOLLOW *h = add_hollow(land, 0, 1, 2, 4);
    add_placeholder(h, nullptr, 0, 0, 1, 2);
    add_placeholder(h, nullptr, 1, 0, 1, 3);
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(list_of(h).size(), 2u);
}

namespace {

OBJECT *inserted;

// Reserves the cell above the current object, as a move does.
int insert_placeholder_above()
{
    note_step();
    OBJECT *o = *ao_object;
    if (!inserted) {
        inserted = create_object(OBJ_PLACEHOLDER, o->x, o->y, o->z + 1);
        ((PLACEHOLDER_DATA *)inserted->data)->owner = o;
        inserted->next = o->next;
        o->next = inserted;
    }
    return 1;
}

} // namespace

TEST_F(AnimateObjects, PlaceholderInsertedAfterTheCurrentObjectIsVisitedAndSkipped)
{
    use_land(1, 1);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 5);
    OBJECT *p = add_object(h, OBJ_PLAYER, 0, 0, 0);
    OBJECT *r = add_object(h, OBJ_ROCK, 0, 0, 2);
    record_all_but_placeholders();
    animate_object[OBJ_PLAYER] = insert_placeholder_above;
    inserted = nullptr;

    animate_objects(PLAYER_ACTIONS{});
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{p, inserted, r}));
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{p, r}));
    // The rock sees the placeholder below it, then the player.
    EXPECT_EQ(steps[1].link, &inserted->next);
    EXPECT_EQ(steps[1].prev, &p->next);
    EXPECT_EQ(steps[1].before_prev, &h->object);
    EXPECT_EQ(steps[1].two_before_prev, nullptr);

    // Inserted behind the last object, the new entry is still reached.
    use_land(1, 1);
    h = add_hollow(land, 0, 0, 0, 5);
    r = add_object(h, OBJ_ROCK, 0, 0, 0);
    p = add_object(h, OBJ_PLAYER, 0, 0, 1);
    inserted = nullptr;
    steps.clear();
    animate_object[OBJ_PLACEHOLDER] = record_step;
    animate_objects(PLAYER_ACTIONS{});
    ASSERT_NE(inserted, nullptr);
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{r, p, inserted}));
    EXPECT_EQ(steps[2].link, &p->next);
    EXPECT_EQ(steps[2].prev, &r->next);
    EXPECT_EQ(steps[2].before_prev, &h->object);
}

namespace {

// A rock that lands on a placeholder below it removes it and mends the cursor.
int destroy_placeholder_below()
{
    if (ao_prev_object && (*ao_prev_object)->type == OBJ_PLACEHOLDER) {
        destroy_object(ao_prev_object);
        repair_cursor(ao_prev_object);
    }
    note_step();
    return 1;
}

} // namespace

TEST_F(AnimateObjects, HandlerDestroyingTheObjectBelowRepairsTheCursor)
{
    use_land(1, 1);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 5);
    OBJECT *a = add_object(h, OBJ_ROCK, 0, 0, 0);
    OBJECT *b = add_object(h, OBJ_DIAMOND, 0, 0, 1);
    OBJECT *c = add_placeholder(h, nullptr, 0, 0, 0, 2);
    void *c_data = c->data;
    OBJECT *f = add_object(h, OBJ_ROCK, 0, 0, 2);
    OBJECT *g = add_object(h, OBJ_PLAYER, 0, 0, 3);
    record_all_but_placeholders();
    animate_object[OBJ_ROCK] = destroy_placeholder_below;

    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{a, b, f, g}));
    EXPECT_EQ(released, (std::vector<void *>{c_data}));
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{a, b, f, g}));
    EXPECT_EQ(steps[2].link, &b->next);
    EXPECT_EQ(steps[2].prev, &a->next);
    EXPECT_EQ(steps[3].link, &f->next);
    EXPECT_EQ(steps[3].prev, &b->next);
    EXPECT_EQ(steps[3].before_prev, &a->next);
    EXPECT_EQ(steps[3].two_before_prev, &h->object);

    // The placeholder at the head of the list.
    use_land(1, 1);
    h = add_hollow(land, 0, 0, 0, 5);
    c = add_placeholder(h, nullptr, 0, 0, 0, 0);
    f = add_object(h, OBJ_ROCK, 0, 0, 0);
    g = add_object(h, OBJ_PLAYER, 0, 0, 1);
    steps.clear();
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{f, g}));
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{f, g}));
    EXPECT_EQ(steps[0].link, &h->object);
    EXPECT_EQ(steps[0].prev, nullptr);
    EXPECT_EQ(steps[1].prev, &h->object);
    EXPECT_EQ(steps[1].before_prev, nullptr);
}

namespace {

OBJECT *mover;
HOLLOW *elsewhere;
int swaps;

// Lets the next object overtake the current one once, then asks for the link
// to be visited again.
int swap_with_next()
{
    note_step();
    OBJECT *o = *ao_object;
    if (o != mover || swaps > 0 || !o->next)
        return 1;
    swaps++;
    OBJECT *n = o->next;
    o->next = n->next;
    n->next = o;
    *ao_object = n;
    return 0;
}

// Takes the current object out to the head of another hollow's list.
int move_elsewhere()
{
    note_step();
    OBJECT *o = *ao_object;
    if (o != mover)
        return 1;
    *ao_object = o->next;
    o->next = elsewhere->object;
    elsewhere->object = o;
    return 0;
}

} // namespace

TEST_F(AnimateObjects, ReturningZeroVisitsTheLinkAgain)
{
    use_land(1, 1);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 5);
    OBJECT *a = add_object(h, OBJ_ROCK, 0, 0, 0);
    OBJECT *p = add_object(h, OBJ_PLAYER, 0, 0, 1);
    OBJECT *b = add_object(h, OBJ_DIAMOND, 0, 0, 1);
    OBJECT *c = add_object(h, OBJ_ROCK, 0, 0, 2);
    animate_object[OBJ_PLAYER] = swap_with_next;
    animate_object[OBJ_DIAMOND] = swap_with_next;
    animate_object[OBJ_ROCK] = swap_with_next;
    mover = p;
    swaps = 0;

    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{a, b, p, c}));
    // The diamond now at the player's link is stepped there; the player,
    // one link further on, is met again.
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{a, p, b, p, c}));
    EXPECT_EQ(steps[1].link, &a->next);
    EXPECT_EQ(steps[2].link, &a->next);
    EXPECT_EQ(steps[2].prev, &h->object);
    EXPECT_EQ(steps[3].link, &b->next);
    EXPECT_EQ(steps[3].prev, &a->next);
    EXPECT_EQ(steps[4].prev, &b->next);
}

TEST_F(AnimateObjects, ObjectLeavingTheListIsNotSteppedAgain)
{
    use_land(2, 1);
    elsewhere = add_hollow(land, 0, 0, 0, 5);  // already walked
    OBJECT *w = add_object(elsewhere, OBJ_DIAMOND, 0, 0, 3);
    HOLLOW *h = add_hollow(land, 1, 0, 0, 5);
    OBJECT *a = add_object(h, OBJ_ROCK, 1, 0, 0);
    OBJECT *p = add_object(h, OBJ_PLAYER, 1, 0, 1);
    OBJECT *b = add_object(h, OBJ_DIAMOND, 1, 0, 2);
    OBJECT *c = add_object(h, OBJ_ROCK, 1, 0, 3);
    animate_object[OBJ_PLAYER] = move_elsewhere;
    animate_object[OBJ_DIAMOND] = move_elsewhere;
    animate_object[OBJ_ROCK] = move_elsewhere;
    mover = p;

    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{a, b, c}));
    EXPECT_EQ(list_of(elsewhere), (std::vector<OBJECT *>{p, w}));
    ASSERT_EQ(stepped_objects(), (std::vector<OBJECT *>{w, a, p, b, c}));
    EXPECT_EQ(steps[3].link, &a->next);
    EXPECT_EQ(steps[3].prev, &h->object);

    // The last object leaving ends the walk of its list.
    mover = c;
    steps.clear();
    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{a, b}));
    EXPECT_EQ(list_of(elsewhere), (std::vector<OBJECT *>{c, p, w}));
    EXPECT_EQ(stepped_objects(), (std::vector<OBJECT *>{p, w, a, b, c}));
}

namespace {

// These lands are built with objects already filed in the wrong tile, as if
// their moves had just ended everywhere: let the re-filing walk see them all.
void sort_every_tile()
{
    for (int y = 0; y < land->h; y++)
        for (int x = 0; x < land->w; x++)
            note_tile_change(x, y);
    sort_objects();
}

// Ends a move into the next tile east: only the position changes here.
int finish_move_east()
{
    note_step();
    OBJECT *o = *ao_object;
    if (o->type == OBJ_PLAYER && o->x + 1 < land->w)
        o->x++;
    return 1;
}

} // namespace

TEST_F(AnimateObjects, ObjectChangingTileIsSteppedOnceAndStaysFiledUntilSorted)
{
    use_land(3, 1);
    HOLLOW *h0 = add_hollow(land, 0, 0, 0, 4);
    HOLLOW *h1 = add_hollow(land, 1, 0, 0, 4);
    OBJECT *p = add_object(h0, OBJ_PLAYER, 0, 0, 1);
    OBJECT *r = add_object(h1, OBJ_ROCK, 1, 0, 0);
    animate_object[OBJ_PLAYER] = finish_move_east;
    animate_object[OBJ_ROCK] = finish_move_east;

    animate_objects(PLAYER_ACTIONS{});
    EXPECT_EQ(stepped_objects(), (std::vector<OBJECT *>{p, r}));
    EXPECT_EQ(p->x, 1);
    EXPECT_EQ(list_of(h0), (std::vector<OBJECT *>{p}));

    sort_every_tile();
    EXPECT_TRUE(list_of(h0).empty());
    EXPECT_EQ(list_of(h1), (std::vector<OBJECT *>{r, p}));
    expect_filed();
}

TEST_F(SortObjects, RefilesIntoTheHollowHoldingItsLevel)
{
    use_land(2, 1);
    HOLLOW *from = add_hollow(land, 0, 0, 0, 9);
    HOLLOW *low = add_hollow(land, 1, 0, 0, 5);
    HOLLOW *high = add_hollow(land, 1, 0, 6, 9);
    OBJECT *a = add_object(from, OBJ_PLAYER, 1, 0, 4);
    OBJECT *b = add_object(from, OBJ_ROCK, 1, 0, 6);
    OBJECT *c = add_object(from, OBJ_ROCK, 0, 0, 7);
    OBJECT *r1 = add_object(low, OBJ_ROCK, 1, 0, 2);
    OBJECT *r2 = add_object(high, OBJ_DIAMOND, 1, 0, 8);

    // Both movers go to a tile walked later, where they are met again.
    sort_every_tile();
    EXPECT_EQ(list_of(from), (std::vector<OBJECT *>{c}));
    EXPECT_EQ(list_of(low), (std::vector<OBJECT *>{r1, a}));
    EXPECT_EQ(list_of(high), (std::vector<OBJECT *>{b, r2}));
    EXPECT_TRUE(released.empty());
    expect_filed();

    // Nothing moved: a second pass changes nothing.
    sort_every_tile();
    EXPECT_EQ(list_of(low), (std::vector<OBJECT *>{r1, a}));
    EXPECT_EQ(list_of(high), (std::vector<OBJECT *>{b, r2}));
}

TEST_F(SortObjects, GoesBeforeEqualHeightsThatAreNotItsOwnPlaceholders)
{
    use_land(2, 1);
    HOLLOW *to = add_hollow(land, 0, 0, 0, 9);
    HOLLOW *from = add_hollow(land, 1, 0, 0, 9);
    OBJECT *m = add_object(from, OBJ_ROCK, 0, 0, 3);
    OBJECT *other = add_object(from, OBJ_PLAYER, 1, 0, 4);
    OBJECT *r = add_object(to, OBJ_ROCK, 0, 0, 1);
    OBJECT *ph = add_placeholder(to, other, 0, 0, 0, 3);
    OBJECT *d1 = add_object(to, OBJ_DIAMOND, 0, 0, 3);
    OBJECT *d2 = add_object(to, OBJ_DIAMOND, 0, 0, 5);

    // Into a tile walked earlier.
    sort_every_tile();
    EXPECT_EQ(list_of(to), (std::vector<OBJECT *>{r, m, ph, d1, d2}));
    EXPECT_EQ(list_of(from), (std::vector<OBJECT *>{other}));
    EXPECT_TRUE(released.empty());
    expect_filed();
}

TEST_F(SortObjects, DropsItsOwnPlaceholdersAtTheTarget)
{
    // A walk across flat ground: only the reservation waits in the target.
    use_land(2, 1);
    HOLLOW *from = add_hollow(land, 0, 0, 0, 4);
    HOLLOW *to = add_hollow(land, 1, 0, 0, 4);
    OBJECT *m = add_object(from, OBJ_PLAYER, 1, 0, 0);
    OBJECT *ph = add_placeholder(to, m, 0, 1, 0, 0);
    void *ph_data = ph->data;
    sort_every_tile();
    EXPECT_TRUE(list_of(from).empty());
    EXPECT_EQ(list_of(to), (std::vector<OBJECT *>{m}));
    EXPECT_EQ(released, (std::vector<void *>{ph_data}));

    // A descent: the target cell and the cell above it were both reserved.
    use_land(2, 1);
    to = add_hollow(land, 0, 0, 0, 4);
    from = add_hollow(land, 1, 0, 2, 4);
    m = add_object(from, OBJ_ROCK, 0, 0, 1);
    OBJECT *r = add_object(to, OBJ_ROCK, 0, 0, 0);
    OBJECT *ph0 = add_placeholder(to, m, 0, 0, 0, 1);
    OBJECT *ph2 = add_placeholder(to, m, 2, 0, 0, 2);
    OBJECT *d = add_object(to, OBJ_DIAMOND, 0, 0, 2);
    std::vector<void *> expected{ph0->data, ph2->data};
    released.clear();
    sort_every_tile();
    EXPECT_TRUE(list_of(from).empty());
    EXPECT_EQ(list_of(to), (std::vector<OBJECT *>{r, m, d}));
    EXPECT_EQ(released, expected);
    expect_filed();
}

TEST_F(SortObjects, DropsTheClimbReservationBehindItOnly)
{
    use_land(3, 1);
    HOLLOW *west = add_hollow(land, 0, 0, 0, 6);
    HOLLOW *start = add_hollow(land, 1, 0, 0, 6);
    HOLLOW *east = add_hollow(land, 2, 0, 0, 6);
    OBJECT *r = add_object(start, OBJ_ROCK, 1, 0, 0);
    // Climbed one level up into the tile walked earlier.
    OBJECT *m = add_object(start, OBJ_PLAYER, 0, 0, 2);
    OBJECT *climb = add_placeholder(start, m, 1, 1, 0, 2);
    // Right behind it another mover, whose own follower is someone else's.
    OBJECT *n = add_object(start, OBJ_ROCK, 2, 0, 3);
    OBJECT *keep = add_placeholder(start, r, 1, 1, 0, 4);
    OBJECT *target = add_placeholder(west, m, 0, 0, 0, 2);
    std::vector<void *> expected{target->data, climb->data};

    sort_every_tile();
    EXPECT_EQ(list_of(start), (std::vector<OBJECT *>{r, keep}));
    EXPECT_EQ(list_of(west), (std::vector<OBJECT *>{m}));
    EXPECT_EQ(list_of(east), (std::vector<OBJECT *>{n}));
    EXPECT_EQ(released, expected);
}

TEST_F(SortObjects, SeveralObjectsMovingAtOnce)
{
    use_land(2, 2);
    HOLLOW *h00 = add_hollow(land, 0, 0, 0, 4);
    HOLLOW *h10 = add_hollow(land, 1, 0, 0, 4);
    HOLLOW *h01 = add_hollow(land, 0, 1, 0, 4);
    HOLLOW *h11 = add_hollow(land, 1, 1, 0, 4);
    // a and b trade places along the top row; f, right behind b, moves down
    // a row; c and d trade places along the bottom row while e stays.  Each
    // mover's reservation waits at its target.
    OBJECT *a = add_object(h00, OBJ_PLAYER, 1, 0, 0);
    OBJECT *pa = add_placeholder(h10, a, 0, 1, 0, 0);
    OBJECT *b = add_object(h10, OBJ_ROCK, 0, 0, 0);
    OBJECT *f = add_object(h10, OBJ_ROCK, 1, 1, 3);
    OBJECT *pd = add_placeholder(h01, nullptr, 0, 0, 1, 0);
    OBJECT *c = add_object(h01, OBJ_ROCK, 1, 1, 1);
    OBJECT *d = add_object(h11, OBJ_PLAYER, 0, 1, 0);
    OBJECT *e = add_object(h11, OBJ_DIAMOND, 1, 1, 2);
    OBJECT *pf = add_placeholder(h11, f, 0, 1, 1, 3);
    ((PLACEHOLDER_DATA *)pd->data)->owner = d;
    std::vector<void *> expected{pa->data, pf->data, pd->data};

    sort_every_tile();
    EXPECT_EQ(list_of(h00), (std::vector<OBJECT *>{b}));
    EXPECT_EQ(list_of(h10), (std::vector<OBJECT *>{a}));
    EXPECT_EQ(list_of(h01), (std::vector<OBJECT *>{d}));
    EXPECT_EQ(list_of(h11), (std::vector<OBJECT *>{c, e, f}));
    EXPECT_EQ(released, expected);
    expect_filed();
}

TEST_F(DestroyObjects, UnlinksAndReleasesThroughTheTable)
{
    use_land(1, 1);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 4);
    OBJECT *a = add_object(h, OBJ_ROCK, 0, 0, 0);
    OBJECT *b = add_placeholder(h, a, 0, 0, 0, 1);
    OBJECT *c = add_object(h, OBJ_DIAMOND, 0, 0, 2);
    void *a_data = a->data;
    void *b_data = b->data;

    destroy_object(&a->next);
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{a, c}));
    destroy_object(&h->object);
    EXPECT_EQ(list_of(h), (std::vector<OBJECT *>{c}));
    EXPECT_EQ(released, (std::vector<void *>{b_data, a_data}));
}

TEST_F(DestroyObjects, DestroyAllReleasesEveryRecordAndIgnoresNull)
{
    destroy_all_objects(nullptr);
    EXPECT_TRUE(released.empty());

    use_land(1, 1);
    HOLLOW *h = add_hollow(land, 0, 0, 0, 4);
    std::vector<void *> expected;
    for (int t = 0; t < N_OBJECT_TYPES; t++)
        expected.push_back(add_object(h, t, 0, 0, t)->data);
    OBJECT *list = h->object;
    h->object = nullptr;
    destroy_all_objects(list);
    EXPECT_EQ(released, expected);
}
