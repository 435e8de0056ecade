// The game rules on small lands: moves, climbs, descents, falls and the
// player's own controls.  Pushing, diamonds and rocks are in
// test_rules_objects.cpp.
#include "rules_harness.h"

namespace {

// A flat room five tiles wide and three deep, two levels high; the player
// stands in the middle facing x+1.
const char *room = R"(
size 5 3
facing P 1
level 0
  ..........
  .....P....
  ..........
level 1
  ..........
  ..........
  ..........
)";

// ---- moves -------------------------------------------------------------------

TEST_F(Rules, MoveStartedOnFrameNEndsOnFrameNPlus29AndIsRefiledThatFrame)
{
    load(room);
    OBJECT *p = player();
    run(5);
    step({KEY_A});  // frame 6 starts the move
    const int n = frame;
    ASSERT_EQ(p->move_step, 1);
    ASSERT_EQ(p->dir, 1);
    std::vector<OBJECT *> ph = placeholders_of(p);
    ASSERT_EQ(ph.size(), 1u);
    EXPECT_TRUE(is_filed_in(ph[0], 3, 1));
    EXPECT_EQ(ph[0]->z, 0);
    EXPECT_EQ(placeholder_data(ph[0])->kind, 0);
    for (int k = 1; k < 29; k++) {
        step();
        ASSERT_EQ(p->move_step, k + 1) << "frame n+" << k;
        ASSERT_EQ(p->x, 2);
        ASSERT_TRUE(is_filed_in(p, 2, 1));
    }
    step();
    EXPECT_EQ(frame, n + 29);
    EXPECT_EQ(p->move_step, 0);
    EXPECT_EQ(p->x, 3);
    EXPECT_EQ(p->y, 1);
    EXPECT_EQ(p->z, 0);
    EXPECT_TRUE(is_filed_in(p, 3, 1));
    EXPECT_FALSE(is_filed_in(p, 2, 1));
    EXPECT_TRUE(placeholders_of(p).empty());
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, HoldingForwardWalksOneTileEvery30Frames)
{
    load(room);
    OBJECT *p = player();
    for (int k = 1; k <= 60; k++) {
        step({KEY_A});
        // Each move starts on the frame after the last one ended.
        int phase = (k - 1) % 30;
        ASSERT_EQ(p->move_step, phase == 29 ? 0 : phase + 1) << "frame " << k;
        ASSERT_EQ(p->x, 2 + k / 30) << "frame " << k;
    }
    run(30, {KEY_A});  // x 4 is the last column
    EXPECT_EQ(p->x, 4);
    EXPECT_EQ(p->move_step, 0);
    EXPECT_TRUE(placeholders_of(p).empty());
    EXPECT_EQ(fault, "");
}

// A ramp rising towards x+1 between two flat tiles, with room above.
const char *ramp = R"(
size 3 1
facing P %d
level 0
  %s
level 1
  %s
level 2
  ......
)";

std::string ramp_land(int facing, const char *level0, const char *level1)
{
    char buf[256];
    snprintf(buf, sizeof buf, ramp, facing, level0, level1);
    return buf;
}

TEST_F(Rules, ClimbRisesFourteenSubunitsAFrameAndEndsOneLevelHigher)
{
    load(ramp_land(1, ".P>...", "......"));
    OBJECT *p = player();
    step({KEY_A});
    EXPECT_EQ(p->z_speed, -1);
    EXPECT_EQ(p->z_offset, -14);
    std::vector<OBJECT *> ph = placeholders_of(p);
    ASSERT_EQ(ph.size(), 2u);
    OBJECT *behind = nullptr, *ahead = nullptr;
    for (OBJECT *q : ph)
        (placeholder_data(q)->kind == 1 ? behind : ahead) = q;
    ASSERT_TRUE(behind && ahead);
    EXPECT_EQ(p->next, behind);  // directly after the climber in its own list
    EXPECT_EQ(behind->z, 1);
    EXPECT_TRUE(is_filed_in(ahead, 1, 0));
    EXPECT_EQ(ahead->z, 1);
    EXPECT_EQ(placeholder_data(ahead)->kind, 0);
    for (int k = 1; k <= 28; k++) {
        step();
        ASSERT_EQ(p->z_offset, -14 * (k + 1)) << k << " frames after the start";
        ASSERT_EQ(p->z, 0);
    }
    EXPECT_EQ(p->z_offset, -406);
    step();
    EXPECT_EQ(p->x, 1);
    EXPECT_EQ(p->z, 1);
    EXPECT_EQ(p->z_offset, 0);
    EXPECT_EQ(p->z_speed, 0);
    EXPECT_TRUE(is_filed_in(p, 1, 0));
    EXPECT_TRUE(filed_in(0, 0).empty());  // the reservation behind is gone
    EXPECT_TRUE(placeholders_of(p).empty());
    run(60);  // standing on the slope: no support check fails
    EXPECT_EQ(p->z, 1);
    EXPECT_EQ(p->z_speed, 0);
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, ClimbNeedsTheLowSideAndHeadroom)
{
    // Walking into the high side of a ramp: a wall.
    load(ramp_land(3, "..>..P", "......"));
    run(40, {KEY_A});
    EXPECT_EQ(player()->x, 2);
    EXPECT_EQ(player()->move_step, 0);
    // No open level above the ramp: nowhere to climb to.
    load(R"(
size 2 1
facing P 1
level 0
  .P>.
)");
    run(40, {KEY_A});
    EXPECT_EQ(player()->x, 0);
    // A flat floor one level up is a wall too.
    load(R"(
size 2 1
facing P 1
level 0
  .P##
level 1
  ....
level 2
  ....
)");
    run(40, {KEY_A});
    EXPECT_EQ(player()->x, 0);
    EXPECT_EQ(player()->z, 0);
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, DescentSinksFourteenSubunitsAFrameThroughTwoReservedCells)
{
    load(ramp_land(3, "..>...", "...P.."));
    OBJECT *p = player();
    step({KEY_A});
    EXPECT_EQ(p->dir, 3);
    EXPECT_EQ(p->z_speed, 1);
    EXPECT_EQ(p->z_offset, 14);
    std::vector<OBJECT *> ph = placeholders_of(p);
    ASSERT_EQ(ph.size(), 2u);
    for (OBJECT *q : ph) {
        EXPECT_TRUE(is_filed_in(q, 0, 0));
        // kind 0 at the level it ends at, kind 2 at the level it leaves from
        EXPECT_EQ(q->z, placeholder_data(q)->kind == 0 ? 0 : 1);
        EXPECT_TRUE(placeholder_data(q)->kind == 0 || placeholder_data(q)->kind == 2);
    }
    EXPECT_NE(placeholder_data(ph[0])->kind, placeholder_data(ph[1])->kind);
    for (int k = 1; k <= 28; k++) {
        step();
        ASSERT_EQ(p->z_offset, 14 * (k + 1)) << k << " frames after the start";
        ASSERT_EQ(p->z, 1);
    }
    step();
    EXPECT_EQ(p->x, 0);
    EXPECT_EQ(p->z, 0);
    EXPECT_EQ(p->z_offset, 0);
    EXPECT_EQ(p->z_speed, 0);
    EXPECT_TRUE(is_filed_in(p, 0, 0));
    EXPECT_TRUE(placeholders_of(p).empty());
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, LeavingARampByAHighSideIsALevelMove)
{
    // From the top of the ramp towards x+1 the edge is raised: the player
    // walks out level over the lower floor and then falls.
    load(ramp_land(1, "..>...", "...P.."));
    OBJECT *p = player();
    step({KEY_A});
    EXPECT_EQ(p->z_speed, 0);
    EXPECT_EQ(p->z_offset, 0);
    run(29);
    EXPECT_EQ(p->x, 2);
    EXPECT_EQ(p->z, 1);
    EXPECT_EQ(p->z_speed, 0);
    step();
    EXPECT_EQ(p->z_speed, 1);  // no support: falling on the frame after the move
    EXPECT_EQ(fault, "");
}

// ---- falls ---------------------------------------------------------------------

// A one-tile shaft open from level 0 to level top, with a player at the top.
std::string shaft(int top)
{
    std::string s = "size 1 1\n";
    for (int z = 0; z <= top; z++)
        s += "level " + std::to_string(z) + "\n  " + (z == top ? ".P" : "..") + "\n";
    return s;
}

TEST_F(Rules, FallAcceleratesBySubunitTriangleToFiftyAndLandsOnTheFloor)
{
    const int top = 40;
    load(shaft(top));
    OBJECT *p = player();
    long fallen = 0;
    bool landed = false;
    for (int k = 1; k <= 400 && !landed; k++) {
        step();
        int speed = k < TERMINAL_SPEED ? k : TERMINAL_SPEED;
        fallen += speed;
        if (fallen >= (long)top * SUBUNITS_PER_LEVEL) {
            // Landing snaps to the floor, whatever was left of the frame.
            EXPECT_EQ(p->z, 0) << "frame " << k;
            EXPECT_EQ(p->z_offset, 0);
            EXPECT_EQ(p->z_speed, 0);
            EXPECT_EQ(k, 361);
            landed = true;
            break;
        }
        ASSERT_EQ(p->z_speed, speed) << "frame " << k;
        ASSERT_EQ(p->z, top - fallen / SUBUNITS_PER_LEVEL) << "frame " << k;
        ASSERT_EQ(p->z_offset, fallen % SUBUNITS_PER_LEVEL) << "frame " << k;
        if (k <= 4) {
            static const int triangle[] = {1, 3, 6, 10};
            EXPECT_EQ(p->z_offset, triangle[k - 1]);
        }
        // The start frame is 1: the first level is passed 28 frames after
        // it and the full speed reached 49 frames after it.
        if (k == 28) {
            EXPECT_EQ(p->z, top) << "z_offset " << p->z_offset;
        } else if (k == 29) {
            EXPECT_EQ(p->z, top - 1);
        } else if (k == 49) {
            EXPECT_EQ(p->z_speed, 49);
        } else if (k == 50) {
            EXPECT_EQ(p->z_speed, 50);
        }
    }
    EXPECT_TRUE(landed);
    run(30);
    EXPECT_EQ(p->z, 0);
    EXPECT_TRUE(placeholders_of(p).empty());
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, WalkingOffALedgeMovesLevelThenFallsOnTheNextFrame)
{
    load(R"(
size 3 1
facing P 1
level 0
  ##....
level 1
  .P....
level 2
  ......
)");
    OBJECT *p = player();
    step({KEY_A});
    for (int k = 0; k < 29; k++) {
        ASSERT_EQ(p->z_speed, 0);
        ASSERT_EQ(p->z_offset, 0);
        ASSERT_EQ(p->z, 1);
        step({KEY_A});
    }
    EXPECT_EQ(p->x, 1);
    EXPECT_EQ(p->move_step, 0);
    EXPECT_EQ(p->z_speed, 0);  // the move ended on frame 30; no fall yet
    step({KEY_A});             // forward is still held: support comes first
    EXPECT_EQ(p->move_step, 0);
    EXPECT_EQ(p->z_speed, 1);
    EXPECT_EQ(p->z_offset, 1);
    EXPECT_EQ(p->x, 1);
    run(27);
    EXPECT_EQ(p->z, 1);
    step();
    EXPECT_EQ(p->z, 0);
    EXPECT_EQ(p->z_speed, 0);
    EXPECT_EQ(p->z_offset, 0);
    EXPECT_EQ(frame, 59);
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, FasterFallerLocksOneLevelAboveASlowerOne)
{
    // A rock drops down the shaft at x 0 from level 9; the player walks off
    // the ledge at level 6 into the shaft below it and starts falling 30
    // frames later, slower than the rock.
    load(R"(
size 2 1
facing P 3
level 0
  ..##
level 1
  ..##
level 2
  ..##
level 3
  ..##
level 4
  ..##
level 5
  ..##
level 6
  ...P
level 7
  ....
level 8
  ....
level 9
  .R..
)");
    OBJECT *p = player();
    OBJECT *r = object_at(OBJ_ROCK, 0, 0, 9);
    ASSERT_NE(r, nullptr);
    step({KEY_A});
    int locked_at = 0;
    for (int k = 2; k <= 200 && p->z_speed + r->z_speed; k++) {
        int rock_speed = r->z_speed, player_speed = p->z_speed;
        step();
        if (p->x != 0 || p->z_speed == 0)
            continue;
        ASSERT_GE(height_of(r) - height_of(p), SUBUNITS_PER_LEVEL) << "frame " << k << ": the rock overlaps";
        bool locked = r->z == p->z + 1 && r->z_offset == p->z_offset && r->z_speed == p->z_speed;
        if (!locked_at && locked) {
            locked_at = k;
            EXPECT_GT(rock_speed, player_speed) << "it was catching up";
        }
        if (locked_at) {
            ASSERT_TRUE(locked) << "frame " << k << ": the rock left the lock";
        }
    }
    EXPECT_EQ(locked_at, 43);
    EXPECT_EQ(p->z, 0);
    EXPECT_EQ(r->z, 1);
    EXPECT_EQ(r->z_speed, 0);
    EXPECT_EQ(r->z_offset, 0);
    EXPECT_EQ(fault, "");
}

// ---- the player's controls ---------------------------------------------------------

TEST_F(Rules, StrafeKeysAndTheStrafeModifierMoveSidewaysWithoutTurning)
{
    struct {
        held keys;
        int x, y;
    } cases[] = {
        {{KEY_X}, 2, 0},          // facing x+1, left is y-1
        {{KEY_C}, 2, 2},
        {{KEY_ALT, KEY_S}, 2, 0},
        {{KEY_ALT, KEY_F}, 2, 2},
    };
    for (auto &c : cases) {
        load(room);
        OBJECT *p = player();
        run(30, c.keys);
        EXPECT_EQ(p->x, c.x);
        EXPECT_EQ(p->y, c.y);
        EXPECT_EQ(player_data(p)->facing, 1);
        EXPECT_EQ(player_data(p)->turn, 0);
    }
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, TurningStartsOnceEvery30FramesAndFacingChangesAtOnce)
{
    for (int right = 0; right < 2; right++) {
        load(room);
        PLAYER_DATA *d = player_data(player());
        for (int k = 1; k <= 90; k++) {
            step({right ? KEY_F : KEY_S});
            int turns = (k - 1) / 30 + 1;
            int turn = 29 - (k - 1) % 30;
            ASSERT_EQ(d->facing, (1 + (right ? turns : -turns)) & 3) << "frame " << k;
            ASSERT_EQ(d->turn, right ? -turn : turn) << "frame " << k;
        }
        run(40);
        EXPECT_EQ(d->turn, 0);
        EXPECT_EQ(d->facing, right ? 0 : 2);
    }
    // The new facing counts for walking on the frame the turn starts.
    load(room);
    step({KEY_S, KEY_A});
    EXPECT_EQ(player_data(player())->facing, 0);
    EXPECT_EQ(player()->dir, 0);
    run(29);
    EXPECT_EQ(player()->y, 0);
    EXPECT_EQ(player()->x, 2);
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, OpposingKeysCancelButASidewaysKeyStillWorks)
{
    load(room);
    OBJECT *p = player();
    run(60, {KEY_S, KEY_F});
    EXPECT_EQ(player_data(p)->facing, 1);
    EXPECT_EQ(player_data(p)->turn, 0);
    run(60, {KEY_A, KEY_Z});
    EXPECT_EQ(p->x, 2);
    EXPECT_EQ(p->move_step, 0);
    run(60, {KEY_X, KEY_C});
    EXPECT_EQ(p->y, 1);
    EXPECT_EQ(p->move_step, 0);
    EXPECT_TRUE(placeholders_of(p).empty());
    step({KEY_A, KEY_Z, KEY_C});
    EXPECT_EQ(p->move_step, 1);
    EXPECT_EQ(p->dir, 2);
    run(29);
    EXPECT_EQ(p->x, 2);
    EXPECT_EQ(p->y, 2);
    // Forward or back first; the sideways key is only tried when that fails.
    load(room);
    step({KEY_A, KEY_C});
    EXPECT_EQ(player()->dir, 1);
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, WalkingOutOfTheLandDoesNothing)
{
    load(R"(
size 2 1
facing P 3
level 0
  .P..
level 1
  ....
)");
    OBJECT *p = player();
    run(60, {KEY_A});
    run(60, {KEY_X});
    run(60, {KEY_C});
    EXPECT_EQ(p->x, 0);
    EXPECT_EQ(p->move_step, 0);
    EXPECT_EQ(p->dir, 0);  // strafe right, the last tried, points at y-1
    EXPECT_TRUE(placeholders_of(p).empty());
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, PitchStepsOnePerFrameToThirtyAndRelaxesToLevel)
{
    load(room);
    PLAYER_DATA *d = player_data(player());
    for (int k = 1; k <= 40; k++) {
        step({KEY_E});  // up tilts the view down
        ASSERT_EQ(d->pitch, k < 30 ? k : 30) << "frame " << k;
    }
    for (int k = 1; k <= 40; k++) {
        step({KEY_E, KEY_D});  // both: relax
        ASSERT_EQ(d->pitch, k < 30 ? 30 - k : 0) << "frame " << k;
    }
    for (int k = 1; k <= 70; k++) {
        step({KEY_D});
        ASSERT_EQ(d->pitch, k < 30 ? -k : -30) << "frame " << k;
    }
    for (int k = 1; k <= 40; k++) {
        step();  // neither: relax
        ASSERT_EQ(d->pitch, k < 30 ? -30 + k : 0) << "frame " << k;
    }
    // Pitch and turn go on while moving and falling.
    load(shaft(3));
    run(10, {KEY_E, KEY_S});
    EXPECT_EQ(player()->z_speed, 10);
    EXPECT_EQ(player_data(player())->pitch, 10);
    EXPECT_EQ(player_data(player())->turn, 20);
    EXPECT_EQ(fault, "");
}

TEST_F(Rules, EachPlayerReadsItsOwnKeys)
{
    load(R"(
size 4 2
facing P 1
facing Q 1
level 0
  .P......
  .Q......
level 1
  ........
  ........
)");
    OBJECT *p = player(0), *q = player(1);
    run(30, {KEY_OPENBRACE});
    EXPECT_EQ(p->x, 0);
    EXPECT_EQ(q->x, 1);
    step({KEY_LEFT});
    EXPECT_EQ(player_data(p)->facing, 1);
    EXPECT_EQ(player_data(q)->facing, 0);
    run(30, {KEY_A, KEY_E});
    EXPECT_EQ(p->x, 1);
    EXPECT_EQ(player_data(p)->pitch, 30);
    EXPECT_EQ(q->x, 1);
    EXPECT_EQ(player_data(q)->pitch, 0);
    run(30, {KEY_ALTGR, KEY_RIGHT});  // Q strafes right: x+1 while facing y-1
    EXPECT_EQ(q->x, 2);
    EXPECT_EQ(q->y, 1);
    EXPECT_EQ(player_data(q)->facing, 0);
    EXPECT_EQ(player_data(p)->facing, 1);
    EXPECT_EQ(fault, "");
}

} // namespace
