# The tests that take longest (each is many runs of the programs), given a cost so that ctest
# starts them before the others (a parameterised test's name ends with its parameter, as
# ctest -N lists it). A name missing here only loses its head start.
foreach(test IN ITEMS
        "Aktualizace/Zabiti.AtTwentyFiveMomentsLeavesOldOrNewAndTheNextRunFinishes/Vymenou  # GetParam() = true"
        "Aktualizace/Zabiti.AtTwentyFiveMomentsLeavesOldOrNewAndTheNextRunFinishes/DvemaPrejmenovanimi  # GetParam() = false"
        "ProcesVlastnika.AStoppedOwnersProcessHoldsNeitherRootsRunNorItsLock"
        "Aktualizace/Zabiti.RightAfterEachSwapLeavesWholeFoldersAndTheNextRunCompletesTheUpdate/Vymenou  # GetParam() = true"
        "Aktualizace/Zabiti.RightAfterEachSwapLeavesWholeFoldersAndTheNextRunCompletesTheUpdate/DvemaPrejmenovanimi  # GetParam() = false")
  set_tests_properties("${test}" PROPERTIES COST 1000)
endforeach()
