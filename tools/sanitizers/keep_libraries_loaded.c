/* Preloaded into sanitizer runs: dlclose does nothing, so a library stays
 * mapped until the process ends. Mesa's GL driver (swrast_dri.so) and libGL are
 * unloaded when SDL shuts down; memory they still referenced then looks leaked,
 * with allocation stacks in an "<unknown module>" that no suppression can name. */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
