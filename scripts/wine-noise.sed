# The lines Wine writes on its error channel that say nothing about the program being run, taken
# out with `sed -f` of what the run and test scripts print (quiet_wine in scripts/wine-env.sh,
# scripts/wine-test.sh). Every other line of that channel stays: a program that cannot start
# still says why.
#
# Direct3D announces, at every start, the command-stream setting scripts/wine-env.sh makes.
/:err:winediag:wined3d_dll_init Setting multithreaded command stream to /d
# There is no Vulkan loader here; Direct3D draws through OpenGL without it.
/:err:vulkan:wine_vk_init Failed to load libvulkan/d
# A window that went away while Direct3D still drew into it (a window closed at exit).
/:err:d3d:wined3d_context_gl_update_window Failed to get a device context for window /d
# Xvfb's screen has one mode, which a new prefix's first programs try to set and note that they cannot.
/:err:system:NtUserChangeDisplaySettings Changing .* display settings returned /d
/:err:explorer:initialize_display_settings Failed to initialize registry display settings /d
