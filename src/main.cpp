#include "game/game.h"

int main() {
    static Game game; // about 11 KB, kept off the stack
    return run_game(game);
}
