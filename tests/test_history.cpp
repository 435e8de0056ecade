// The game's history: the generator's state saved and restored exactly; a
// game taken back to a step is the game a fresh replay of that step's keys
// gives, object by object and number by number, and goes on as the replay
// of its cut record does; the snapshots kept stay within their bound; and
// the record of a run that went back and forth wins in the tool.
#include <gtest/gtest.h>

#include <glob.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "headless.h"
#include "land_invariants.h"
#include "rules_harness.h"
#include "shell/shell.h"
#include "tools/land_source.h"

namespace {

// Saved at every position, across the wrap of the buffer's two pointers, a
// state draws on as random()'s own sequence does (drawn apart, by
// random_r), and loaded again gives the sequence from its position, for a
// generator in a buffer of every size.
TEST(RandState, LoadGivesTheSequenceFromWhereItWasSaved)
{
    static char bufs[5][256], ref_buf[256];
    const size_t sizes[] = {8, 32, 64, 256, 128};  // types 0 to 4; srand()'s own last
    int32_t first_of_15 = 0;
    for (int t = 0; t < 5; t++) {
        random_data rd = {};
        initstate_r(11 + t, ref_buf, sizes[t], &rd);
        std::vector<int32_t> ref(300);
        for (int32_t &x : ref)
            random_r(&rd, &x);
        first_of_15 = ref[0];
        initstate(11 + t, bufs[t], sizes[t]);
        std::vector<RAND_STATE> at(100);
        for (int i = 0; i < 100; i++) {
            save_rand_state(at[i]);
            ASSERT_EQ(rand(), ref[i]) << "size " << sizes[t] << ", after a save at " << i;
        }
        for (int p : {0, 1, 30, 31, 32, 62, 99, 5, 63, 17}) {
            load_rand_state(at[p]);
            for (int i = p; i < p + 200; i++)
                ASSERT_EQ(rand(), ref[i]) << "size " << sizes[t] << ", loaded at " << p;
        }
    }
    // srand() seeds the buffer the generator was moved to as it did before.
    srand(15);
    EXPECT_EQ(rand(), first_of_15);
}

// ---- games to go back and forth in ----------------------------------------------

// Apart from rand(), which the rules draw from.
struct small_rng {
    std::mt19937 g;
    explicit small_rng(unsigned seed) : g(seed) {}
    int below(int n) { return (int)(g() % (unsigned)n); }
    bool chance(int percent) { return below(100) < percent; }
};

// Ground at level 0 or 1 with slopes here and there, rocks in the air, on
// each other and in stacks, so that they fall and roll; diamonds; both
// players most of the time.
std::string random_land_text(unsigned seed)
{
    small_rng r(seed);
    int w = 4 + r.below(9), h = 4 + r.below(9), levels = 3 + r.below(4), rocks = 3 + r.below(15);
    std::vector<std::string> t(levels * h, std::string(2 * w, '#'));
    std::vector<int> open;  // z * 65536 + y * 256 + x
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int z = r.chance(30); z < levels && !r.chance(2); z++) {
                std::string &row = t[z * h + y];
                row[2 * x] = row[2 * x + 1] = '.';
                if ((z == 0 || t[(z - 1) * h + y][2 * x] == '#') && z + 1 < levels && r.chance(8))
                    row[2 * x] = "^>v<56789abc"[r.below(12)];
                else
                    open.push_back(z * 65536 + y * 256 + x);
                if (r.chance(rocks) || (z > 0 && t[(z - 1) * h + y][2 * x + 1] == 'R' && r.chance(40)))
                    row[2 * x + 1] = 'R';
                else if (r.chance(5))
                    row[2 * x + 1] = 'D';
            }
    if (open.size() < 4)
        return "";
    int players = r.chance(20) ? 1 : 2;
    for (int p = 0; p <= players; p++) {
        int c = open[r.below((int)open.size())];
        t[(c >> 16) * h + (c >> 8 & 255)][2 * (c & 255) + 1] = "PQD"[p < players ? p : 2];
    }
    std::string s = "size " + std::to_string(w) + " " + std::to_string(h) + "\ntextures a.pcx b.pcx c.pcx\nplayers " +
                    std::to_string(players) + "\nfacing P 1\nfacing Q 2\n";
    for (int z = 0; z < levels; z++) {
        s += "level " + std::to_string(z) + "\n";
        for (int y = 0; y < h; y++)
            s += "  " + t[z * h + y] + "\n";
    }
    return s;
}

// Each player holds a few actions for a stretch, walking forward most often;
// a step's keys are the scancodes held.
typedef std::vector<int> keys_held;
struct key_maker {
    small_rng r;
    int left[2] = {0, 0};
    keys_held held[2];
    explicit key_maker(unsigned seed) : r(seed) {}
    keys_held next()
    {
        for (int p = 0; p < 2; p++)
            if (--left[p] <= 0) {
                left[p] = 1 + r.below(60);
                held[p].clear();
                for (int a = 0; a < N_ACTIONS; a++)
                    if (r.chance(a == ACT_FORWARD ? 50 : 15))
                        held[p].push_back(player_info[p].key[a][0]);
            }
        keys_held k = held[0];
        k.insert(k.end(), held[1].begin(), held[1].end());
        return k;
    }
};

const char *frame_of(const keys_held &k)
{
    static INPUT_FRAME f;
    memset(f, 0, sizeof f);
    for (int code : k)
        f[code] = 1;
    return f;
}

// A game: its land made afresh, with the generator seeded right before as
// the game seeds it.
struct game {
    std::string name;
    unsigned seed;
    std::function<LAND *()> make;
    LAND *fresh() const
    {
        srand(seed);
        return make();
    }
};

// Which objects the rows' and the land's players and the placeholders'
// owners are, by their places in the walk.
std::vector<long> identities(const LAND *l, OBJECT *const rows[2])
{
    std::unordered_map<const OBJECT *, long> place = {{nullptr, 0}};
    std::vector<const OBJECT *> owners;
    for (int y = 0; y < l->h; y++)
        for (int x = 0; x < l->w; x++)
            for (const HOLLOW *h = l->tile[y][x].hollow; h; h = h->next)
                for (const OBJECT *e = h->object; e; e = e->next) {
                    place.emplace(e, (long)place.size());
                    if (e->type == OBJ_PLACEHOLDER)
                        owners.push_back(((const PLACEHOLDER_DATA *)e->data)->owner);
                }
    owners.insert(owners.end(), {rows[0], rows[1], l->player[0], l->player[1]});
    std::vector<long> v;
    for (const OBJECT *o : owners)
        v.push_back(place.count(o) ? place[o] : -1);
    return v;
}

// How the current game differs from a fresh one run on the frames next()
// gives until null, or "".  The current game stays current, with its
// generator and rows.
std::string difference_from_replay(const game &g, const std::function<const char *()> &next)
{
    LAND *a = land;
    OBJECT *rows_a[2] = {player_info[0].object, player_info[1].object};
    int players_a = n_players;
    RAND_STATE rand_a, rand_b;
    save_rand_state(rand_a);

    LAND *b = g.fresh();
    set_game_land(b);
    while (const char *f = next())
        step_land(f);
    save_rand_state(rand_b);
    OBJECT *rows_b[2] = {player_info[0].object, player_info[1].object};
    std::string why = compare_objects(a, b);
    if (why.empty() && identities(a, rows_a) != identities(b, rows_b))
        why = "placeholders' owners or players are other objects";
    if (why.empty() &&
        (rand_a.words != rand_b.words || memcmp(rand_a.word, rand_b.word, rand_a.words * sizeof(int32_t))))
        why = "the random generators differ";
    destroy_land(b);

    land = a;
    n_players = players_a;
    player_info[0].object = rows_a[0];
    player_info[1].object = rows_a[1];
    load_rand_state(rand_a);
    return why;
}

std::string difference_from_replay(const game &g, const std::vector<keys_held> &keys)
{
    size_t i = 0;
    return difference_from_replay(g, [&] { return i < keys.size() ? frame_of(keys[i++]) : nullptr; });
}

// What the rewinds came back to, so that the test shows it met what matters.
struct rewind_counts {
    long rewinds = 0, rocks_in_motion = 0, placeholders = 0;
};

// Plays g with random keys, going back to random steps and on with other
// keys; after every rewind the game must be the fresh replay of the keys
// kept, and at the end the history's tape must replay to it too.
void play_back_and_forth(const game &g, int rounds, int most_steps, rewind_counts &counts)
{
    SCOPED_TRACE(g.name);
    set_game_land(g.fresh());
    ASSERT_TRUE(land);
    GAME_HISTORY h;
    start_history(h, g.seed);
    small_rng r(g.seed ^ 0x7e3);
    key_maker maker(g.seed);
    std::vector<keys_held> kept;
    for (int round = 0; round <= rounds; round++) {
        for (int n = 1 + r.below(most_steps); n > 0 && land->n_diamonds > 0; n--) {
            kept.push_back(maker.next());
            run_history_step(h, frame_of(kept.back()));
        }
        if (round == rounds)
            break;
        // Now and then the step itself, the start, or a snapshot's step.
        long to = r.chance(10) ? h.steps : r.chance(10) ? 0 : r.below((int)h.steps + 1);
        if (r.chance(15))
            to -= to % HISTORY_SPACING;
        ASSERT_EQ(rewind_history(h, to), to);
        kept.resize(to);
        counts.rewinds++;
        for (OBJECT *o : all_objects()) {
            counts.rocks_in_motion += o->type == OBJ_ROCK && (o->move_step || o->z_speed);
            counts.placeholders += o->type == OBJ_PLACEHOLDER;
        }
        ASSERT_EQ(difference_from_replay(g, kept), "") << "round " << round << ", back to step " << to;
    }
    // The tape, read back as a file is, plays the game to the same state.
    TAPE tape = history_tape(h), read;
    std::string why;
    tape.land = "x.lvl";
    ASSERT_EQ(parse_tape(tape_text(tape), read, why), 0) << why;
    EXPECT_EQ(read.seed, g.seed);
    ASSERT_EQ(read.frames, (long)kept.size());
    TAPE_PLAYBACK p;
    start_playback(p, read);
    EXPECT_EQ(difference_from_replay(g, [&] { return next_playback_frame(p); }), "") << "the tape";

    restart_history(h);
    EXPECT_EQ(h.steps, 0);
    EXPECT_TRUE(history_tape(h).held.empty());
    EXPECT_EQ(difference_from_replay(g, std::vector<keys_held>()), "") << "restarted";
    free_game_land();
}

} // namespace

TEST(History, RewoundGamesAreFreshReplaysOfTheirKeys)
{
    start_headless_allegro();
    rewind_counts counts;
    int lands = 0;
    for (unsigned seed = 1; lands < 60 && seed < 200; seed++) {
        std::string text = random_land_text(seed);
        LAND *l = text.empty() ? nullptr : parse_land_source(text).land;
        if (!l)
            continue;
        destroy_land(l);
        lands++;
        play_back_and_forth({"generated land " + std::to_string(seed), seed,
                             [text] { return parse_land_source(text).land; }},
                            4, 600, counts);
        if (HasFatalFailure())
            return;
    }
    printf("history: %d generated lands, %ld rewinds to %ld rocks in motion and %ld reservations\n", lands,
           counts.rewinds, counts.rocks_in_motion, counts.placeholders);
    EXPECT_EQ(lands, 60);
    EXPECT_GT(counts.rocks_in_motion, counts.rewinds);
    EXPECT_GT(counts.placeholders, counts.rewinds);

    // The bundled lands, loaded as the game loads them; the rules never look
    // at textures, and a land loads without them.
    std::string (*textures)(const char *) = find_texture_file;
    find_texture_file = [](const char *) { return std::string("no such texture"); };
    glob_t gl;
    ASSERT_EQ(glob("levels/*.lvl", 0, nullptr, &gl), 0);
    std::vector<std::string> bundled(gl.gl_pathv, gl.gl_pathv + gl.gl_pathc);
    globfree(&gl);
    bundled.insert(bundled.end(), {"land.lvl", "land3.lvl"});
    // Every level of the set, and the two lands.
    std::ifstream set("levels/set.txt");
    std::string line;
    size_t listed = 0;
    for (std::getline(set, line); std::getline(set, line);)
        listed++;
    EXPECT_GE(listed, 24u);
    EXPECT_EQ(bundled.size(), listed + 2);
    for (const std::string &path : bundled) {
        play_back_and_forth({path, (unsigned)path.size(), [path] { return load_land(path.c_str()); }}, 4, 2500,
                            counts);
        if (HasFatalFailure())
            break;
    }
    find_texture_file = textures;
}

// A rock falls in its own tile, far from the player, and comes to rest: its
// tile sleeps.  Taken back to the fall, with no object made anew, the rock
// must fall again as it did.
TEST(History, ATileAsleepNowFallsAgainAfterARewind)
{
    start_headless_allegro();
    std::string text = "size 10 1\ntextures a.pcx b.pcx c.pcx\nplayers 1\nfacing P 1\n";
    for (int z = 0; z < 8; z++)
        text += "level " + std::to_string(z) + "\n  " + (z ? ".." : ".P") + "......" + (z ? ".." : ".D") +
                "........" + (z == 7 ? ".R" : "..") + "\n";
    game g{"a rock falling", 1, [text] { return parse_land_source(text).land; }};
    set_game_land(g.fresh());
    ASSERT_TRUE(land);
    auto rock = [] { return all_objects().back(); };  // the last tile's, above its reservation
    GAME_HISTORY h;
    start_history(h, g.seed);
    for (int i = 0; i < 300; i++)
        run_history_step(h, frame_of({}));
    ASSERT_TRUE(rock()->type == OBJ_ROCK && rock()->z == 0 && !rock()->z_speed);
    rewind_history(h, 20);
    ASSERT_TRUE(rock()->type == OBJ_ROCK && rock()->z_speed) << "the rock is not falling at step 20";
    for (int i = 0; i < 300; i++)
        run_history_step(h, frame_of({}));
    EXPECT_EQ(difference_from_replay(g, std::vector<keys_held>(320)), "");
    free_game_land();
}

// Every snapshot is at a multiple of the spacing; the recent steps keep all
// of theirs and each older span HISTORY_RECENT, which bounds the count and
// the gaps; a rewind takes the snapshots from the one it restores on again.
TEST(History, SnapshotsThinWithAgeWithinTheirBound)
{
    start_headless_allegro();
    LAND *l;
    for (unsigned seed = 3; !(l = parse_land_source(random_land_text(seed)).land);)
        seed++;
    set_game_land(l);
    GAME_HISTORY h;
    start_history(h, 3);
    key_maker maker(3);
    const long recent = HISTORY_RECENT * HISTORY_SPACING;
    // After a rewind, older snapshots keep the spacing of the age they had.
    auto check = [&](const std::string &when, bool forward, long from) {
        SCOPED_TRACE(when);
        std::vector<long> steps;
        for (const HISTORY_SNAPSHOT &s : h.snapshots)
            steps.push_back(s.step);
        ASSERT_EQ(steps.front(), 0);
        for (size_t i = 1; i < steps.size(); i++) {
            ASSERT_EQ(steps[i] % HISTORY_SPACING, 0);
            ASSERT_GT(steps[i], steps[i - 1]);
            long most = std::max<long>(HISTORY_SPACING, (h.steps - steps[i - 1] + recent) / HISTORY_RECENT);
            ASSERT_TRUE(!forward || steps[i] - steps[i - 1] <= most) << "after " << steps[i - 1] << " at " << h.steps;
        }
        for (long m = h.steps - h.steps % HISTORY_SPACING; m >= from && h.steps - m < recent; m -= HISTORY_SPACING)
            ASSERT_TRUE(std::binary_search(steps.begin(), steps.end(), m)) << "step " << m << " at " << h.steps;
        int spans = 1;
        for (long covered = recent; covered < h.steps; covered = 2 * covered + recent)
            spans++;
        ASSERT_LE((long)steps.size(), (HISTORY_RECENT + 1L) * spans + 1) << h.steps << " steps";
    };
    for (long n = 1; n <= 40000; n++) {
        run_history_step(h, frame_of(maker.next()));
        if (n % 997 == 0)
            check("playing, step " + std::to_string(n), true, 0);
    }
    for (long to : {39990L, 30001L, 12345L, 700L}) {
        long from = 0;
        for (const HISTORY_SNAPSHOT &s : h.snapshots)
            from = s.step <= to ? s.step : from;
        rewind_history(h, to);
        check("back to " + std::to_string(to), false, from);
    }
    free_game_land();
}

// A solution fed through the history, taken back past where it went off
// into other keys, and played on from there: the record is the run as it
// finally went, and the tool wins with it.
TEST(History, TapeOfARunThatWentBackWinsInTheTool)
{
    start_headless_allegro();
    for (std::string name : {"07-rolling", "16-together", "19-summit"}) {
        SCOPED_TRACE(name);
        std::string land_path = "levels/" + name + ".lvl", why;
        TAPE solution;
        ASSERT_EQ(read_tape(("levels/" + name + ".tape").c_str(), solution, why), 0) << why;
        srand((unsigned)solution.seed);
        set_game_land(load_land(land_path.c_str()));
        GAME_HISTORY h;
        start_history(h, solution.seed);
        TAPE_PLAYBACK p;
        start_playback(p, solution);
        for (long i = 0; i < solution.frames * 2 / 3; i++)
            run_history_step(h, next_playback_frame(p));
        rewind_history(h, solution.frames / 2);
        key_maker maker(9);
        for (int i = 0; i < 700 && land->n_diamonds > 0; i++)
            run_history_step(h, frame_of(maker.next()));
        long back_to = solution.frames / 3;
        ASSERT_EQ(rewind_history(h, back_to), back_to);
        start_playback(p, solution);
        for (long i = 0; i < solution.frames; i++)
            if (const char *f = next_playback_frame(p); i >= back_to && land->n_diamonds > 0)
                run_history_step(h, f);
        EXPECT_EQ(land->n_diamonds, 0);

        TAPE tape = history_tape(h);
        tape.land = land_path;
        ASSERT_TRUE(file_crc32(land_path.c_str(), tape.crc32));
        std::string tape_path = "/tmp/tavo-history-" + std::to_string(getpid()) + ".tape", json;
        ASSERT_EQ(save_tape(tape_path.c_str(), tape), 0);
        FILE *out = popen(("./tavo-tool replay " + tape_path + " 2>&1").c_str(), "r");
        ASSERT_TRUE(out);
        char buf[4096];
        while (size_t n = fread(buf, 1, sizeof buf, out))
            json.append(buf, n);
        EXPECT_EQ(pclose(out), 0) << json;
        remove(tape_path.c_str());
        EXPECT_NE(json.find("\"won\": true"), std::string::npos) << json;
        EXPECT_NE(json.find("\"ended_at_step\": " + std::to_string(h.steps)), std::string::npos) << json;
        free_game_land();
    }
}

// Rocks rolling down Tumble's stairs are still for a step between two cells:
// the land is at rest then, but has not settled, and the level game's loss
// check must not take such a pause for the end of things.
TEST(History, APauseInARollIsNoSettling)
{
    start_headless_allegro();
    TAPE solution;
    std::string why;
    ASSERT_EQ(read_tape("levels/15-tumble.tape", solution, why), 0) << why;
    srand((unsigned)solution.seed);
    set_game_land(load_land("levels/15-tumble.lvl"));
    ASSERT_TRUE(land);
    TAPE_PLAYBACK p;
    start_playback(p, solution);
    std::vector<bool> rest, settled, keys;
    int still = 0;
    for (long i = 0; i < solution.frames; i++) {
        const char *f = next_playback_frame(p);
        keys.push_back(std::any_of(f, f + KEY_MAX, [](char c) { return c != 0; }));
        step_land(f);
        settled.push_back(land_newly_settled(still, land));
        rest.push_back(land_at_rest(land));
    }
    EXPECT_EQ(land->n_diamonds, 0);
    int pauses = 0, settlings = 0;
    for (size_t i = 0; i + 1 < rest.size(); i++) {
        settlings += settled[i];
        // At rest, then moving again with no key pressed: a pause.
        if (rest[i] && !rest[i + 1] && !keys[i + 1]) {
            pauses++;
            EXPECT_FALSE(settled[i]) << "step " << i + 1;
        }
        if (settled[i]) {
            EXPECT_TRUE(rest[i] && i > 0 && rest[i - 1]) << "step " << i + 1;
        }
    }
    EXPECT_GT(pauses, 0) << "the tape no longer shows a roll's pause";
    EXPECT_GT(settlings, 0);
    free_game_land();
}
