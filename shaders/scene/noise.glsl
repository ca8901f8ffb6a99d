// (empty until the scene is written)
