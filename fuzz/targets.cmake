# Every fuzz target but the wire's: twinlark_fuzz_target(NAME LIBRARY SEEDS) names the target
# (source fuzz/NAME_fuzz.cpp), the library holding the code under test and its seed folder in
# fuzz/. Inputs a target once failed on are kept in fuzz/crashes/NAME/. The fuzz build makes a
# libFuzzer binary of each; the test build replays both folders of each under its sanitizers.
twinlark_fuzz_target(sticky_notes twinlark_store_sticky_notes corpus-sticky-notes)
twinlark_fuzz_target(ics twinlark_store_windows_calendar corpus-ics)
twinlark_fuzz_target(chrome_bookmarks twinlark_store_chrome_bookmarks corpus-chrome-bookmarks)
twinlark_fuzz_target(opera_hotlist twinlark_store_opera corpus-opera-hotlist)
